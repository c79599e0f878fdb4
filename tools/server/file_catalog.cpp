#include "tools/server/file_catalog.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "platform/number_text.h"

namespace fs = std::filesystem;

namespace {

bool IsDigits(const std::string& text, size_t begin, size_t end) {
    if (begin >= end) return false;
    for (size_t i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// "<digits>.<digits>"
bool IsModelText(const std::string& text) {
    const size_t dot = text.find('.');
    return dot != std::string::npos && IsDigits(text, 0, dot) &&
           IsDigits(text, dot + 1, text.size());
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

std::string MtimeMillis(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return "0";
    const long long ms =
        static_cast<long long>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return std::to_string(ms);
}

bool IsRegularFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// The newest regular file in folder (ties: the smaller name), skipping hidden files.
std::optional<fs::path> NewestFileIn(const fs::path& folder) {
    std::error_code ec;
    std::optional<fs::path> best;
    fs::file_time_type best_time{};
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        const std::string leaf = p.filename().string();
        if (leaf.empty() || leaf[0] == '.' || !IsRegularFile(p)) continue;
        std::error_code tec;
        const auto t = fs::last_write_time(p, tec);
        if (tec) continue;
        if (!best || t > best_time || (t == best_time && leaf < best->filename().string())) {
            best = p;
            best_time = t;
        }
    }
    return best;
}

using Section = std::map<std::string, std::string>;

// manifest.txt: "[name]" opens the section of a name; "key=value" lines follow; '#' and
// ';' start comments. Only the section of the name asked for is kept.
Section ReadManifestSection(const std::string& path, const std::string& name) {
    Section section;
    std::ifstream in(path);
    std::string line;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            inside =
                line.size() >= 2 && line.back() == ']' && line.substr(1, line.size() - 2) == name;
            continue;
        }
        if (!inside) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        section[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return section;
}

}  // namespace

FileCatalog::FileCatalog(std::string root) : root_(std::move(root)) {}

bool FileCatalog::IsPlainName(const std::string& name) {
    if (name.empty() || name[0] == '.' || name.size() > 255) return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    }
    return name.find("..") == std::string::npos;
}

std::optional<StoredFile> FileCatalog::Find(const std::string& name) const {
    if (!IsPlainName(name)) return std::nullopt;
    const fs::path root(root_);
    std::optional<fs::path> file;
    std::string xinghao;
    bool program = false;
    if (name[0] == 's' && IsModelText(name.substr(1))) {
        file = NewestFileIn(root / "params" / name);
        xinghao = name.substr(1);
    } else if (IsModelText(name)) {
        file = NewestFileIn(root / "firmware" / name);
        xinghao = name;
    } else if (EndsWith(name, ".exe")) {
        file = root / "program" / name;
        program = true;
    } else {
        file = root / "setup" / name;
    }
    if (!file || !IsRegularFile(*file)) return std::nullopt;

    StoredFile stored;
    stored.max_bytes = program ? kMaxProgramBytes : kMaxFileBytes;
    std::error_code size_ec;
    const auto size = fs::file_size(*file, size_ec);
    if (size_ec || size > static_cast<std::uintmax_t>(stored.max_bytes)) return std::nullopt;
    stored.path = file->string();
    stored.filename = file->filename().string();
    stored.created_date = MtimeMillis(stored.path);
    stored.xinghao = xinghao;
    const Section section = ReadManifestSection((root / "manifest.txt").string(), name);
    for (const auto& [key, value] : section) {
        if (key == "banben") {
            stored.banben = value;
        } else if (key == "xinghao") {
            stored.xinghao = value;
        } else if (key == "createdDate") {
            stored.created_date = value;
        } else if (key == "filename") {
            stored.filename = value;
        } else if (key == "cut") {
            stored.cut_after = ParseInteger<long long>(value).value_or(-1);
        } else if (key == "cut_from") {
            stored.cut_from = ParseInteger<long long>(value).value_or(1);
        }
    }
    return stored;
}

std::vector<std::string> FileCatalog::Names() const {
    const fs::path root(root_);
    std::set<std::string> names;
    auto collect = [&](const char* folder, bool folders) {
        std::error_code ec;
        for (fs::directory_iterator it(root / folder, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code tec;
            if (folders ? it->is_directory(tec) : it->is_regular_file(tec))
                names.insert(it->path().filename().string());
        }
    };
    collect("setup", false);
    collect("program", false);
    collect("params", true);
    collect("firmware", true);
    std::vector<std::string> found;
    for (const std::string& name : names) {
        if (Find(name)) found.push_back(name);  // drops names another rule would answer for
    }
    return found;
}
