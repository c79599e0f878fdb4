#include "updater/update_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "definitions/server_file.h"
#include "platform/settings_store.h"
#include "updater/base64_stream.h"
#include "updater/reply_closure.h"

namespace {

// The piece as written to "Vexa.tmp": without braces and double quotes.
std::string Strip(const char* data, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '{' && c != '}' && c != '"') out += c;
    }
    return out;
}

// The name as it may be shown: control characters as \xNN, so a name cannot move the
// cursor or colour a terminal it is printed to.
std::string Printable(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Same letters, ignoring ASCII case (file systems that fold case would take one for the
// other).
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

bool WriteAll(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// The new program's mode: the old file's permissions, executable for whoever may read it,
// and always for the owner.
mode_t NewMode(const std::string& target) {
    struct stat st {};
    mode_t mode = 0755;
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    mode |= S_IXUSR;
    if (mode & S_IRGRP) mode |= S_IXGRP;
    if (mode & S_IROTH) mode |= S_IXOTH;
    return mode;
}

}  // namespace

UpdateServerAccess UpdateServerAccess::Default() {
    UpdateServerAccess access;
    access.get = [](const std::string& url) { return ServerGet(url); };
    access.stream = [](const std::string& url,
                       const std::function<bool(const char*, size_t)>& on_chunk) {
        return ServerStream(url, on_chunk);
    };
    return access;
}

UpdateDownload::UpdateDownload(UpdateView& view, SettingsStore& settings, std::string folder,
                               bool chinese, UpdateServerAccess server)
    : view_(view),
      settings_(settings),
      folder_(folder.empty() ? std::string(".") : std::move(folder)),
      texts_(chinese),
      server_(std::move(server)) {}

std::string UpdateDownload::Path(const std::string& name) const {
    return folder_.back() == '/' ? folder_ + name : folder_ + "/" + name;
}

UpdateDownload::Result UpdateDownload::Fail(Result result, const std::string& text, bool enable) {
    if (enable) view_.EnableDownload(true);
    view_.ShowMessage(text, UpdateIcon::kError);
    return result;
}

UpdateDownload::Result UpdateDownload::Run(const std::atomic<bool>* cancel) {
    // The version query tells which build the server holds and under which name.
    ServerReply reply = ReadServerReply(server_.get(VersionQueryUrl(kQueryName)));
    if (reply.result == ServerResult::kNoReply)
        return Fail(Result::kNoReply, texts_.no_reply, false);
    if (reply.result != ServerResult::kFound)
        return Fail(Result::kNotDetected, texts_.not_detected, false);
    const std::string version = reply.members["banben"];
    const std::string filename = reply.members["filename"];
    const std::string created = reply.members["createdDate"];
    // The name decides where the program is written: only a plain name keeps it in the
    // folder, and "Vexa.tmp" is the download's own file, deleted once the program is in
    // place, so a program of that name would be installed and then removed.
    if (!IsPlainFileName(filename) || SameNameIgnoringCase(filename, kTmpName)) {
        return Fail(Result::kBadName, UpdateTexts::Fill(texts_.bad_name, Printable(filename)),
                    false);
    }

    // What is about to be installed, shown before the transfer starts.
    const std::string log = texts_.file_label + filename + "\r\n" + texts_.version_label + version +
                            "\r\n" + texts_.upload_label + FormatUploadTime(created);
    view_.SetLog(log);
    view_.EnableDownload(false);

    // The file query's reply, piece by piece, into "Vexa.tmp".
    const std::string tmp_path = Path(kTmpName);
    std::FILE* tmp = std::fopen(tmp_path.c_str(), "w+b");
    if (tmp == nullptr) return Fail(Result::kTmpFailed, texts_.tmp_failed, true);

    std::string head;  // the reply so far, until the payload begins
    bool found = false;
    bool head_too_long = false;
    bool write_failed = false;
    size_t received = 0;
    std::string progress;
    ReplyClosure closure;
    auto on_piece = [&](const char* piece, size_t n) {
        received += n;
        closure.Feed(piece, n);
        char figure[64];
        std::snprintf(figure, sizeof figure, texts_.progress.c_str(), received / 1024.0);
        progress = figure;
        view_.SetProgress(log + progress);
        std::string out;
        if (found) {
            out = Strip(piece, n);
        } else {
            head.append(piece, n);
            ReplyMap map;
            ParseReply(map, head);
            std::string payload = map["wenjian"];
            // A reply that arrived whole in one piece keeps its "data" object intact; the
            // payload is then inside it.
            if (payload.empty() && map["data"].size() > 1 && map["data"][0] == '{') {
                ReplyMap nested;
                ParseReply(nested, map["data"]);
                payload = nested["wenjian"];
            }
            if (!payload.empty()) {
                found = true;
                out = Strip(payload.data(), payload.size());
                head.clear();
                head.shrink_to_fit();
            } else if (head.size() > kMaxHeadBytes) {
                head_too_long = true;
                return false;
            }
        }
        if (!out.empty() && std::fwrite(out.data(), 1, out.size(), tmp) != out.size()) {
            write_failed = true;
            return false;
        }
        return true;
    };
    const bool complete = server_.stream(FileQueryUrl(kQueryName), [&](const char* d, size_t n) {
        if (cancel != nullptr && cancel->load()) return false;
        for (size_t at = 0; at < n; at += kReadSize) {
            if (!on_piece(d + at, n - at < kReadSize ? n - at : kReadSize)) return false;
        }
        return true;
    });
    // A file query that could not be opened delivers nothing: that is a run without a
    // payload, not a lost connection. A payload whose reply never closed was cut, even when
    // the transport saw the body end (a server that announced no length and hung up).
    const bool cut = (!complete && !head_too_long && received > 0) || (found && !closure.Closed());
    if (write_failed || cut) {
        std::fclose(tmp);
        std::remove(tmp_path.c_str());
        if (write_failed) return Fail(Result::kTmpFailed, texts_.tmp_failed, true);
        return Fail(Result::kConnectionLost, texts_.connection_lost, true);
    }
    if (!found) {
        // Nothing to install: the program and the stored date stay as they were.
        std::fclose(tmp);
        std::remove(tmp_path.c_str());
        return Fail(Result::kNoPayload, texts_.no_payload, true);
    }

    // Decoded into the program file.
    const std::string target = Path(filename);
    if (!Install(tmp, target)) {
        std::fclose(tmp);  // "Vexa.tmp" stays; the next run truncates it
        return Fail(Result::kTargetFailed, UpdateTexts::Fill(texts_.close_target, filename), true);
    }
    std::fclose(tmp);
    std::remove(tmp_path.c_str());
    view_.EnableDownload(true);

    // The date Vexa compares at start-up, once the new program is in place.
    if (!settings_.Write("createdDate", created)) {
        view_.ShowMessage(texts_.register_failed, UpdateIcon::kError);
        view_.SetLog(log + progress + texts_.register_failed_log);
        return Result::kRegisterFailed;
    }
    view_.SetLog(log + progress + texts_.register_ok_log);
    view_.ShowMessage(texts_.success, UpdateIcon::kExclamation);
    return Result::kSuccess;
}

bool UpdateDownload::Install(std::FILE* tmp, const std::string& target) {
    if (std::fflush(tmp) != 0 || std::fseek(tmp, 0, SEEK_SET) != 0) return false;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    const mode_t mode = NewMode(target);
    const std::string part = target + ".part";
    const int fd =
        ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    Base64StreamDecoder decoder;
    char block[1024];
    std::string bytes;
    bool ok = true;
    size_t n;
    while (ok && (n = std::fread(block, 1, sizeof block, tmp)) > 0) {
        bytes.clear();
        decoder.Feed(block, n, bytes);
        ok = WriteAll(fd, bytes.data(), bytes.size());
    }
    ok = ok && !std::ferror(tmp);
    if (ok) {
        bytes.clear();
        decoder.Finish(bytes);
        ok = WriteAll(fd, bytes.data(), bytes.size());
    }
    ok = ok && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && std::rename(part.c_str(), target.c_str()) == 0;
    if (!ok) std::remove(part.c_str());
    return ok;
}
