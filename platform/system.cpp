#include "platform/system.h"

#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kMaxPathChars = 260;

std::string EnvOrEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

std::string TempFolder() {
    std::string folder = EnvOrEmpty("TMPDIR");
    if (folder.empty()) folder = "/tmp";
    if (folder.back() != '/') folder += '/';
    if (folder.size() > kMaxPathChars) return {};
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
    return folder;
}

bool UserIsChinese() {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        locale = EnvOrEmpty(name);
        if (!locale.empty()) break;
    }
    // "zh_CN", "zh_CN.UTF-8", "zh_CN.GBK", "zh_CN@variant"; not "zh_CNX" or "zh_TW".
    if (locale.compare(0, 5, "zh_CN") != 0) return false;
    return locale.size() == 5 || locale[5] == '.' || locale[5] == '@';
}

std::string GbkToUtf8(const std::string& gbk) {
    static const char kReplacement[] = "\xEF\xBF\xBD";
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        // No converter: keep ASCII, replace everything else.
        for (unsigned char c : gbk) {
            if (c < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += kReplacement;
            }
        }
        return out;
    }
    out.reserve(gbk.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(gbk.data());
    size_t in_left = gbk.size();
    char buffer[256];
    while (in_left > 0) {
        char* dst = buffer;
        size_t dst_left = sizeof buffer;
        const size_t rc = iconv(cd, &in, &in_left, &dst, &dst_left);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc != static_cast<size_t>(-1)) continue;
        if (errno == E2BIG) continue;
        // EILSEQ (not a GBK character) or EINVAL (truncated at the end): one byte is lost.
        out += kReplacement;
        ++in;
        --in_left;
    }
    iconv_close(cd);
    return out;
}
