#pragma once
// A fresh scratch folder per test (mkdtemp, so tests running in parallel never share one),
// removed with everything in it afterwards, with helpers to place and read files.
#include <sys/stat.h>
#include <sys/time.h>

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
        if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~TestFolder() {
        std::error_code ec;
        if (!old_cwd_.empty()) std::filesystem::current_path(old_cwd_, ec);
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    const std::string& path() const { return path_; }
    // The path ending in '/', for code that appends file names to a folder.
    std::string dir() const { return path_ + "/"; }

    // Makes the folder the working folder until the object goes.
    void Enter() {
        if (old_cwd_.empty()) old_cwd_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }

    // Writes bytes to folder/relative, creating the folders on the way; with ms, the file's
    // modification time is set to ms after 1970.
    void Put(const std::string& relative, const std::string& bytes, long long ms = -1) const {
        const std::filesystem::path p = std::filesystem::path(path_) / relative;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary) << bytes;
        if (ms >= 0) Touch(relative, ms);
    }
    // Sets the file's modification time to ms after 1970.
    void Touch(const std::string& relative, long long ms) const {
        const std::string p = path_ + "/" + relative;
        timeval times[2];
        times[0].tv_sec = times[1].tv_sec = ms / 1000;
        times[0].tv_usec = times[1].tv_usec = (ms % 1000) * 1000;
        ::utimes(p.c_str(), times);
    }

  private:
    std::string path_;
    std::filesystem::path old_cwd_;
};

// The whole file as bytes ("" when it cannot be read).
inline std::string Slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}
