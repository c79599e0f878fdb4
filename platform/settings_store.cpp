#include "platform/settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

// File format: one value per line, "name=value\n", with '%', '=', control bytes and bytes
// above 0x7E written as %XX, so any name and value text (line breaks, NUL, '=' included)
// round-trips. Lines that do not decode are ignored.

namespace {

constexpr const char* kFileName = "settings.txt";
constexpr const char* kTempName = "settings.txt.tmp";
constexpr const char* kLockName = "settings.lock";
// A settings file is a handful of dates; anything larger is not ours.
constexpr off_t kMaxFileBytes = 1024 * 1024;

std::string Escape(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7E || c == '%' || c == '=') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Unescape(const std::string& text, size_t begin, size_t end, std::string& out) {
    out.clear();
    for (size_t i = begin; i < end; ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= end) return false;
        const int hi = HexValue(text[i + 1]);
        const int lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return true;
}

using Values = std::map<std::string, std::string>;

bool ReadAll(int fd, std::string& out) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        out.append(buffer, static_cast<size_t>(n));
        if (out.size() > static_cast<size_t>(kMaxFileBytes)) return false;
    }
}

// Missing file → empty map and true; unreadable file → false.
bool LoadValues(const std::string& path, Values& values) {
    values.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT;
    std::string text;
    const bool ok = ReadAll(fd, text);
    ::close(fd);
    if (!ok) return false;
    size_t pos = 0;
    std::string name, value;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        const size_t eq = text.find('=', pos);
        if (eq != std::string::npos && eq < end && Unescape(text, pos, eq, name) &&
            Unescape(text, eq + 1, end, value)) {
            values[name] = value;
        }
        pos = end + 1;
    }
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool MakeFolders(const std::string& folder) {
    std::string partial;
    size_t pos = 0;
    while (pos <= folder.size()) {
        size_t next = folder.find('/', pos);
        if (next == std::string::npos) next = folder.size();
        partial = folder.substr(0, next);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        pos = next + 1;
    }
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Holds an exclusive flock on the folder's lock file for its lifetime. The lock file is
// separate from the data file because the data file is replaced by rename on every write.
class FolderLock {
  public:
    explicit FolderLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    bool held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

SettingsStore::SettingsStore(std::string folder) : folder_(std::move(folder)) {
    while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
    path_ = folder_ + "/" + kFileName;
}

std::string SettingsStore::DefaultFolder() {
    const char* dir = std::getenv("VEXA_CONFIG_DIR");
    if (dir != nullptr && *dir != '\0') return dir;
    dir = std::getenv("XDG_CONFIG_HOME");
    if (dir != nullptr && *dir != '\0') return std::string(dir) + "/vexa";
    dir = std::getenv("HOME");
    if (dir != nullptr && *dir != '\0') return std::string(dir) + "/.config/vexa";
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr) {
        return std::string(pw->pw_dir) + "/.config/vexa";
    }
    return ".config/vexa";
}

std::optional<std::string> SettingsStore::Read(const std::string& name) const {
    // Writers replace the file by rename, so a plain read always sees a whole file.
    Values values;
    if (!LoadValues(path_, values)) return std::nullopt;
    const auto it = values.find(name);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

bool SettingsStore::Write(const std::string& name, const std::string& value) {
    if (!MakeFolders(folder_)) return false;
    FolderLock lock(folder_ + "/" + kLockName);
    if (!lock.held()) return false;

    Values values;
    if (!LoadValues(path_, values)) return false;  // never overwrite what we cannot read
    values[name] = value;
    std::string text;
    for (const auto& [n, v] : values) text += Escape(n) + "=" + Escape(v) + "\n";

    // Write beside the file, flush to disk, then rename over it: a crash leaves either the
    // old file or the new one, never a mixture. A temp file left by a crash is truncated
    // by the next writer (which holds the lock) and is never read.
    const std::string temp = folder_ + "/" + kTempName;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !written || ::rename(temp.c_str(), path_.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}
