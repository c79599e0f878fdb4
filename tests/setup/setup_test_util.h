#pragma once
// Temporary folders and small files for the setup-file tests.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace setup_test {

// A fresh folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vexa-setup-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern + "/";
    }
    ~TempDir() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Ends in '/'.
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Section markers as the files spell them (code page 936), for building test files.
inline const std::string kMem = "[\xC4\xDA\xB4\xE6]";
inline const std::string kMemEnd = "[\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8]";
inline const std::string kModel = "[\xD0\xCD\xBA\xC5]";
inline const std::string kModelEnd = "[\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8]";
inline const std::string kDebug = "[\xB5\xF7\xCA\xD4]";
inline const std::string kDebugEnd = "[\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8]";
inline const std::string kUnknown = "\xCE\xB4\xD6\xAA\xD0\xCD\xBA\xC5";

}  // namespace setup_test
