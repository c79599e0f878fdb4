#pragma once
// A fresh temporary folder per test, removed afterwards, with helpers to place files.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class TestFolder {
  public:
    TestFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vexa-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TestFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }

    // Writes bytes to folder/relative, creating the folders on the way.
    void Put(const std::string& relative, const std::string& bytes) const {
        const std::filesystem::path p = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
    }
    // Sets the file's modification time to ms after 1970.
    void Touch(const std::string& relative, long long ms) const;

  private:
    std::string path_;
};

#include <sys/stat.h>
#include <sys/time.h>

inline void TestFolder::Touch(const std::string& relative, long long ms) const {
    const std::string p = path_ + "/" + relative;
    timeval times[2];
    times[0].tv_sec = times[1].tv_sec = ms / 1000;
    times[0].tv_usec = times[1].tv_usec = (ms % 1000) * 1000;
    ::utimes(p.c_str(), times);
}

// The whole file as bytes ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
