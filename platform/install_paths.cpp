#include "platform/install_paths.h"

#include <filesystem>
#include <system_error>

std::string DataDirBeside(const std::string& program_path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path bin = fs::path(program_path).parent_path();
    if (bin.empty()) return {};
    const fs::path data = bin.parent_path() / "share" / "vexa";
    if (!fs::is_directory(data, ec)) return {};
    return data.lexically_normal().string();
}

std::string InstalledDataDir() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return DataDirBeside(self.string());
}
