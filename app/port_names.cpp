#include "app/port_names.h"

#include <filesystem>

std::string StablePortName(const std::string& device, const std::string& by_id_folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path target = fs::canonical(device, ec);
    if (ec) return device;
    fs::directory_iterator it(by_id_folder, ec);
    if (ec) return device;
    for (const fs::directory_entry& entry : it) {
        std::error_code link_ec;
        if (!entry.is_symlink(link_ec) || link_ec) continue;
        const fs::path resolved = fs::canonical(entry.path(), link_ec);
        if (!link_ec && resolved == target) return entry.path().string();
    }
    return device;
}
