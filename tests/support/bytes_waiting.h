#pragma once
// How many received bytes wait unread on this process's open descriptor of a terminal
// device, so a test can wait for bytes to have arrived without reading them.
#include <sys/ioctl.h>

#include <filesystem>
#include <string>

// -1 when this process has no descriptor open on `device`.
inline int BytesWaiting(const std::string& device) {
    std::error_code ec;
    const auto wanted = std::filesystem::canonical(device, ec);
    if (ec) return -1;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", ec)) {
        std::error_code link_error;
        if (std::filesystem::read_symlink(entry.path(), link_error) != wanted) continue;
        int n = 0;
        if (::ioctl(std::stoi(entry.path().filename().string()), FIONREAD, &n) == 0) return n;
    }
    return -1;
}
