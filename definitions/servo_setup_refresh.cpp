// ServoSetup's refresh from the update server: which setup files are out of date, and the
// download that replaces one whole or not at all.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

#include "definitions/server_file.h"
#include "definitions/server_query.h"
#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/system.h"

namespace {

// Writes bytes to folder + name by way of a file beside it that is renamed over the target,
// so the old copy stays whole until the new one is complete on disk.
bool ReplaceFile(const std::string& folder, const std::string& name, const uint8_t* data,
                 size_t size) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string temp = folder + "." + name + ".part" + std::to_string(stamp) + "-" +
                             std::to_string(counter.fetch_add(1));
    std::FILE* file = std::fopen(temp.c_str(), "wbx");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0;
#if defined(__unix__) || defined(__APPLE__)
    ok = ok && fsync(fileno(file)) == 0;
#endif
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok) std::filesystem::rename(temp, folder + name, error);
    if (!ok || error) {
        std::filesystem::remove(temp, error);
        return false;
    }
    return true;
}

}  // namespace

int ServoSetup::StoreFileDate(const std::string& name, const std::string& date) {
    return settings_.Write(name, date) ? 0 : -1;
}

int ServoSetup::IsFileCurrent(const std::string& name, const std::string& folder) {
    {
        std::ifstream local(folder + name, std::ios::binary);
        if (!local.is_open()) return 2;
    }
    ServerReply reply = QueryServer(FileQueryUrl(name));
    if (reply.result != ServerResult::kFound) return 1;
    const std::optional<std::string> stored = settings_.Read(name);
    if (!stored) return 2;
    return *stored == reply.members["createdDate"] ? 1 : 2;
}

bool ServoSetup::Download(const std::string& name, const std::string& folder) {
    ServerReply reply = DownloadServerFile(name, kMaxFileBytes);
    // A file too large for the buffer is refused whole; an empty one is nothing to use.
    if (reply.result != ServerResult::kFound || reply.bytes.empty()) return false;
    // The server names the file; only a plain name keeps the write inside the folder.
    const std::string& file_name = reply.members["filename"];
    if (!IsPlainFileName(file_name)) return false;
    if (!ReplaceFile(folder, file_name, reply.bytes.data(), reply.bytes.size())) return false;
    StoreFileDate(name, reply.members["createdDate"]);
    return true;
}

bool ServoSetup::RefreshFromServer() {
    const std::string temp = TempFolder();
    if (temp.empty()) return false;
    SetFolders(temp);
    int failures = 0;
    for (const std::string* name : {&modbus_name_, &pwm_name_, &main_name_}) {
        const std::string folder = FolderOf(*name);
        if (folder.empty()) continue;
        if (IsFileCurrent(*name, folder) == 1) continue;
        if (!Download(*name, folder)) ++failures;
    }
    return failures < 3;
}
