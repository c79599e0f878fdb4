#pragma once
// VexaUpdate's download against a real update server on 127.0.0.1: a served folder, a work
// folder, a settings folder, and a view that records what the run showed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/settings_store.h"
#include "tests/support/test_folder.h"
#include "tools/server/update_server.h"
#include "updater/update_download.h"
#include "updater/update_view.h"

class RecordingUpdateView : public UpdateView {
  public:
    void SetLog(const std::string& t) override { Add(logs, t); }
    void SetProgress(const std::string& t) override { Add(progress, t); }
    void EnableDownload(bool e) override {
        std::lock_guard g(m);
        enables.push_back(e);
    }
    void ShowMessage(const std::string& t, UpdateIcon icon) override {
        Add(messages, (icon == UpdateIcon::kError ? "error: " : "note: ") + t);
    }
    void Reset() {
        std::lock_guard g(m);
        logs = progress = messages = {};
        enables.clear();
    }
    std::vector<std::string> Messages() {
        std::lock_guard g(m);
        return messages;
    }

    std::mutex m;
    std::vector<std::string> logs, progress, messages;
    std::vector<bool> enables;

  private:
    void Add(std::vector<std::string>& to, const std::string& t) {
        std::lock_guard g(m);
        to.push_back(t);
    }
};

inline bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// Bytes 0..255 repeated: every value, so a one-bit slip in the decode shows.
inline std::string Program(size_t n) {
    std::string p(n, '\0');
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return p;
}

class UpdateRun : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
    }
    void TearDown() override {
        server_.Stop();
        unsetenv("VEXA_UPDATE_SERVER");
    }
    // Publishes the build under "Vexa.exe" with this manifest section.
    void Publish(const std::string& program, const std::string& manifest) {
        root_.Put("program/Vexa.exe", program);
        root_.Put("manifest.txt", "[Vexa.exe]\n" + manifest);
    }
    UpdateDownload::Result Run(bool chinese = false) {
        UpdateDownload run(view_, settings_, work_.path(), chinese);
        return run.Run();
    }
    std::string Work(const std::string& name) const { return work_.path() + "/" + name; }

    TestFolder root_, work_, config_;
    UpdateServer server_{root_.path()};
    SettingsStore settings_{config_.path()};
    RecordingUpdateView view_;
};
