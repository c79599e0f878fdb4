#pragma once
// Shared pieces of the Upgrade page tests: a view that records what the page shows, and a
// fixture that wires a page to a simulated bus on a pseudo-terminal with the sample setup
// files (servos 1, 2 of one model, 3 of another, PWM-family servo 5, Modbus servo 6).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tests/app/shared_objects.h"
#include "tests/support/demo_bus.h"
#include "tests/support/found_list.h"
#include "tests/support/test_folder.h"
#include "tests/support/wait_until.h"
#include "tools/sim/model_catalog.h"
#include "tools/sim/sim_bus.h"
#include "transport/cqv_comm.h"

namespace upgrade_test {

class FakeView : public ServoTestView {
  public:
    void SetText(int c, const std::string& t) override {
        text[c] = t;
        if (c == kResultEdit && !t.empty()) results.push_back(t);
    }
    void Enable(int c, bool e) override { enabled[c] = e; }
    void SetProgressRange(int lo, int hi) override { range = {lo, hi}; }
    void SetProgressStep(int s) override { step = s; }
    void SetProgressPos(int p) override { positions.push_back(p); }
    bool AskOpenFile(const std::string& f, const std::string& ext, std::string& path) override {
        filter = f;
        extension = ext;
        if (file.empty()) return false;
        path = file;
        return true;
    }
    void ShowMessage(const std::string& caption, const std::string& t, bool error) override {
        boxes.push_back((error ? "error " : "info ") + caption + ": " + t);
    }
    void TestEnded() override { ++tests_ended; }
    void UpgradeEnded(bool ok) override { ended.push_back(ok); }

    std::map<int, std::string> text;
    std::map<int, bool> enabled;
    std::vector<std::string> results, boxes;
    std::pair<int, int> range{-1, -1};
    int step = 0;
    std::vector<int> positions;
    std::string file, filter, extension;
    int tests_ended = 0;
    std::vector<bool> ended;
};

inline std::string WriteFile(const TestFolder& dir, const std::string& name,
                             const std::vector<uint8_t>& bytes) {
    dir.Put(name, std::string(bytes.begin(), bytes.end()));
    return dir.path() + "/" + name;
}

// Bytes 0..n-1 of a recognisable image: byte k is (k * 7 + 3) & 0xFF.
inline std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> out(n);
    for (size_t k = 0; k < n; ++k) out[k] = static_cast<uint8_t>((k * 7 + 3) & 0xFF);
    return out;
}

// The objects a page is built from, reading the sample setup files.
struct PageObjects : SharedObjects {
    QueuedDispatcher ui_;
    FakeView view_;
};

class SimPage : public ::testing::Test, protected PageObjects {
  protected:
    void SetUp() override {
        ASSERT_EQ(StartFiveServoBus(bus_), "");
        ASSERT_EQ(comm.OpenPort(bus_.port_path()), 1);
        comm.ConfigurePort(115200, 0, 25);
        page_ = std::make_unique<CServoTest>(modbus, tervion, setup, lock, false, ui_);
        page_->InitDialog(&view_);
    }
    void TearDown() override {
        page_.reset();
        comm.ClosePort();
        bus_.Stop();
    }

    // Reads the nine identity bytes as the search does.
    ServoInfo Identity(int id) {
        ServoInfo r{};
        EXPECT_EQ(tervion.Read(static_cast<uint8_t>(id), 0, r.data(), 9), 9) << "servo " << id;
        return r;
    }

    // Serves posted calls until done() holds or 10 s pass.
    template <typename Done>
    bool Until(Done done) {
        const bool done_in_time = WaitUntil(done, std::chrono::seconds(10), [this] {
            if (ui_.Drain() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
        ui_.Drain();
        return done_in_time;
    }

    // Opens file and presses "Upgrade" for servo id; true when the exchange succeeded.
    bool Upgrade(int id, const std::string& file) {
        ServoInfo record{};
        record[5] = static_cast<uint8_t>(id);
        page_->SetServo(id, FoundList(record), 0, "");
        view_.file = file;
        page_->OnOpen();
        view_.ended.clear();
        view_.positions.clear();
        page_->OnUpgrade();
        EXPECT_TRUE(Until([&] { return !view_.ended.empty(); }));
        return !view_.ended.empty() && view_.ended.back();
    }

    sim::SimBus bus_;
    std::unique_ptr<CServoTest> page_;
};

}  // namespace upgrade_test
