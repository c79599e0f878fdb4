#include "pages/upgrade/servo_test.h"

#include <chrono>
#include <cstdio>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/upgrade/servo_test_view.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"

namespace {
enum : int { kTextStop = 156, kTextTest = 200, kTextResultLine = 201 };
constexpr const char* kInitialFilter =
    "bus device (*.bin)|*.bin|pwm device (*.fbin)|*.fbin|modbus device (*.mbin)|*.mbin|"
    "open device (*.xbin)|*.xbin||";

std::string FormatLine(const std::string& format, int id, long long us, int timeouts,
                       double speed) {
    char buf[64];
    // The format comes from the string table: %d, %d, %d, %.2f in that order.
    std::string out;
    size_t arg = 0;
    for (size_t k = 0; k < format.size(); ++k) {
        if (format[k] != '%' || k + 1 >= format.size()) {
            out += format[k];
            continue;
        }
        if (format.compare(k, 4, "%.2f") == 0) {
            std::snprintf(buf, sizeof buf, "%.2f", speed);
            out += buf;
            k += 3;
        } else if (format[k + 1] == 'd') {
            const long long v = arg == 0 ? id : arg == 1 ? us : timeouts;
            out += std::to_string(v);
            ++arg;
            k += 1;
        } else {
            out += format[k];
        }
    }
    return out + "\r\n";
}
}  // namespace

CServoTest::CServoTest(Modbus& modbus, Tervion& tervion, ServoSetup& setup, BusLock& bus_lock,
                       bool chinese, UiDispatcher& ui)
    : modbus_(modbus),
      tervion_(tervion),
      setup_(setup),
      bus_lock_(bus_lock),
      chinese_(chinese),
      ui_(ui),
      filter_(kInitialFilter) {
    const StringTable strings(chinese);
    stop_text_ = strings.Get(kTextStop);
    test_text_ = strings.Get(kTextTest);
    line_format_ = strings.Get(kTextResultLine);
}

CServoTest::~CServoTest() { Shutdown(); }

void CServoTest::Shutdown() {
    running_ = 0;
    abort_ = true;
    JoinUpgradeWorker();
    JoinTestWorker();
    abort_ = false;
}

void CServoTest::InitDialog(ServoTestView* view) {
    view_ = view;
    if (!view_) return;
    view_->SetText(kTestButton, running() ? stop_text_ : test_text_);
    view_->SetText(kResultEdit, "");
    view_->SetText(kFirmwareLogEdit, "");
    view_->Enable(kUpgradeButton, false);
}

void CServoTest::AttachView(ServoTestView* view) { view_ = view; }

std::string CServoTest::Text(const char* english, const char* chinese) const {
    return chinese_ ? chinese : english;
}

void CServoTest::PostToUi(std::function<void(ServoTestView&)> fn) {
    std::weak_ptr<int> alive = alive_;
    ui_.Post([this, alive, fn = std::move(fn)] {
        if (alive.expired() || !view_) return;
        fn(*view_);
    });
}

// The one place the page asks the setup store: the file of the servo's kind, whatever
// file another thread has selected meanwhile.
int CServoTest::LookupRow(const ServoInfo& record, int kind, DebugRow& row) {
    return setup_.LookupDebugRow(setup_.FileForKind(kind), record.data(), row);
}

void CServoTest::SetServo(int id, const ServoInfo* records, int index, int count, int kind,
                          const std::string& model_name) {
    Selection s;
    if (records != nullptr && count > 0) s.records.assign(records, records + count);
    s.index = index;
    s.count = count;
    s.kind = kind;
    s.id = id;
    s.model_name = model_name;
    if (index < 0 || index >= count ||
        LookupRow(s.records[static_cast<size_t>(index)], kind, s.row) == 0)
        s.count = 0;
    std::lock_guard g(test_mutex_);
    selection_ = std::move(s);
}

int CServoTest::servo_count() const {
    std::lock_guard g(test_mutex_);
    return selection_.count;
}

int CServoTest::timeout_count(int id) const {
    std::lock_guard g(counts_mutex_);
    return id >= 0 && id < 254 ? timeouts_[static_cast<size_t>(id)] : 0;
}

void CServoTest::SetTestCaption(bool running) {
    if (view_) view_->SetText(kTestButton, running ? stop_text_ : test_text_);
}

void CServoTest::OnTest() {
    if (running_.load() != 0) {
        SetTestCaption(false);
        running_ = 0;  // the worker ends after its current pass
        return;
    }
    SetTestCaption(true);
    std::lock_guard g(test_mutex_);
    running_ = 1;
    // A worker still finishing its last pass sees the flag again and goes on: never two.
    if (worker_alive_) return;
    if (test_worker_.joinable()) test_worker_.join();  // ended: it left the mutex for good
    worker_alive_ = true;
    test_worker_ = std::thread([this] { TestWorker(); });
}

void CServoTest::StopTest() {
    SetTestCaption(false);
    running_ = 0;
}

void CServoTest::OnClear() {
    if (view_) view_->SetText(kResultEdit, "");
    std::lock_guard g(counts_mutex_);
    timeouts_.fill(0);
}

void CServoTest::JoinTestWorker() {
    if (test_worker_.joinable()) test_worker_.join();
    std::lock_guard g(test_mutex_);
    worker_alive_ = false;
}

void CServoTest::TestWorker() {
    // The selection is taken once: choosing another servo while the test runs changes
    // neither what is tested nor how long the test runs.
    Selection s;
    {
        std::lock_guard g(test_mutex_);
        s = selection_;
        // Nothing to test: the worker ends at once, the caption keeps "Stop" until pressed.
        if (s.count == 0) worker_alive_ = false;
    }
    int passes = 0;
    while (s.count != 0) {
        std::string text = RunPass(s);
        PostToUi([text](ServoTestView& v) { v.SetText(kResultEdit, text); });
        const int limit = pass_limit_.load();
        if (limit > 0 && ++passes >= limit) {
            running_ = 0;
            PostToUi([this](ServoTestView&) {
                if (running_.load() == 0) SetTestCaption(false);
            });
        }
        std::lock_guard g(test_mutex_);
        if (running_.load() == 0) {
            worker_alive_ = false;
            break;
        }
    }
    PostToUi([](ServoTestView& v) { v.TestEnded(); });
}

std::string CServoTest::RunPass() {
    Selection s;
    {
        std::lock_guard g(test_mutex_);
        s = selection_;
    }
    return RunPass(s);
}

std::string CServoTest::RunPass(const Selection& s) {
    std::string pending;
    if (s.count == 0 || s.index < 0 || s.index >= static_cast<int>(s.records.size()))
        return pending;
    const ServoInfo& selected = s.records[static_cast<size_t>(s.index)];
    const int start = s.row[4];
    const int length = static_cast<int>(static_cast<uint16_t>(s.row[5] - s.row[4] + 1));
    std::vector<uint8_t> buffer(static_cast<size_t>(std::max(length, 1)));
    uint16_t registers[10];
    using Clock = std::chrono::steady_clock;
    for (int k = 0; k < s.count && k < static_cast<int>(s.records.size()); ++k) {
        const ServoInfo& r = s.records[static_cast<size_t>(k)];
        if (r[0] != selected[0] || r[3] != selected[3] || r[2] != selected[2]) continue;
        const uint8_t id = r[5];
        bool ok;
        Clock::time_point t0, t1;
        {
            // One transaction at a time: a search started meanwhile waits between reads.
            std::lock_guard g(bus_lock_);
            t0 = Clock::now();
            ok = s.kind == kDeviceModbus
                     ? modbus_.ReadHoldingRegisters(id, 256, registers, 10) != 0
                     : tervion_.Read(id, static_cast<uint8_t>(start), buffer.data(), length) != 0;
            t1 = Clock::now();
        }
        const long long us = std::chrono::duration_cast<std::chrono::microseconds>(t1 - t0).count();
        int count = 0;
        {
            std::lock_guard g(counts_mutex_);
            if (!ok && id < 254) ++timeouts_[id];
            count = id < 254 ? timeouts_[id] : 0;
        }
        double speed = 0;
        if (ok) {
            // Below the clock's resolution a reply still took some time: count 1 us.
            const long long divisor = us > 0 ? us : 1;
            speed = static_cast<double>((length + 14) * 8000000LL / divisor) / 1000.0;
        }
        pending += FormatLine(line_format_, id, us, count, speed);
    }
    return pending;
}
