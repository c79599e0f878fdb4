#include "platform/install_paths.h"

#include <filesystem>
#include <system_error>

std::string InstalledDataDir() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec || self.parent_path().empty()) return {};
    const fs::path data = self.parent_path().parent_path() / "share" / "vexa";
    if (!fs::is_directory(data, ec)) return {};
    return data.string();
}
