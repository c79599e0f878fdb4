#pragma once
// A private folder for the files a harness rewrites on every input, removed at exit. It is
// made in memory where the system offers that, since a disk file system may flush a file
// truncated and rewritten, a hundred times slower.
#include <stdlib.h>

#include <filesystem>
#include <string>

struct ScratchFolder {
    ScratchFolder() {
        std::error_code ignored;
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", ignored)
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        std::string pattern = (base / "vexa-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    std::string path;
};
