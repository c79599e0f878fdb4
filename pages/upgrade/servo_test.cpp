#include "pages/upgrade/servo_test.h"

#include "definitions/servo_setup.h"
#include "pages/upgrade/servo_test_view.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"

namespace {
enum : int { kTextStop = 156, kTextTest = 200, kTextResultLine = 201 };
constexpr const char* kInitialFilter =
    "bus device (*.bin)|*.bin|pwm device (*.fbin)|*.fbin|modbus device (*.mbin)|*.mbin|"
    "open device (*.xbin)|*.xbin||";
}  // namespace

CServoTest::CServoTest(Modbus& modbus, Tervion& tervion, ServoSetup& setup, BusLock& bus_lock,
                       bool chinese, UiDispatcher& ui)
    : setup_(setup),
      chinese_(chinese),
      ui_(ui),
      stop_text_(StringTable(chinese).Get(kTextStop)),
      test_text_(StringTable(chinese).Get(kTextTest)),
      filter_(kInitialFilter),
      comm_test_(modbus, tervion, bus_lock, StringTable(chinese).Get(kTextResultLine),
                 {[this](const std::string& text) {
                      PostToUi([text](ServoTestView& v) { v.SetText(kResultEdit, text); });
                  },
                  [this] { PostToUi([](ServoTestView& v) { v.TestEnded(); }); },
                  [this] {
                      PostToUi([this](ServoTestView&) {
                          if (!comm_test_.running()) SetTestCaption(false);
                      });
                  }}),
      exchange_(modbus, tervion, bus_lock,
                {[this](int position) {
                     PostToUi([position](ServoTestView& v) { v.SetProgressPos(position); });
                 },
                 [this](bool ok, bool aborted) {
                     PostToUi([this, ok, aborted](ServoTestView& v) {
                         if (!ok && !aborted) UpgradeFailed();
                         v.Enable(kUpgradeButton, true);
                         v.UpgradeEnded(ok);
                     });
                 }}) {}

CServoTest::~CServoTest() { Shutdown(); }

void CServoTest::Shutdown() {
    comm_test_.Stop();
    exchange_.Abort();
    comm_test_.Join();
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

void CServoTest::PostToUi(std::function<void(ServoTestView&)> fn) {
    ui_.Post([this, fn = std::move(fn)] {
        if (view_) fn(*view_);
    });
}

// The one place the page asks the setup store: the file of the servo's kind, whatever
// file another thread has selected meanwhile.
int CServoTest::LookupRow(const ServoInfo& record, ServoKind kind, DebugRow& row) {
    return setup_.LookupDebugRow(setup_.FileForKind(kind), record.data(), row);
}

void CServoTest::SetServo(int id, std::span<const FoundServo> found, int index,
                          const std::string& model_name) {
    CommunicationTest::Selection s;
    for (const FoundServo& f : found) s.records.push_back(f.record);
    s.index = index;
    s.count = static_cast<int>(found.size());
    s.id = id;
    s.model_name = model_name;
    if (index < 0 || index >= s.count) {
        s.count = 0;
    } else {
        s.kind = found[index].kind;
        if (LookupRow(s.records[static_cast<size_t>(index)], s.kind, s.row) == 0) s.count = 0;
    }
    std::lock_guard g(selection_mutex_);
    selection_ = std::move(s);
}

int CServoTest::servo_count() const {
    std::lock_guard g(selection_mutex_);
    return selection_.count;
}

// ---- Communication test ---------------------------------------------------------------------

void CServoTest::SetTestCaption(bool running) {
    if (view_) view_->SetText(kTestButton, running ? stop_text_ : test_text_);
}

void CServoTest::OnTest() {
    if (comm_test_.running()) {
        SetTestCaption(false);
        comm_test_.Stop();  // the worker ends after its current pass
        return;
    }
    SetTestCaption(true);
    std::lock_guard g(selection_mutex_);
    comm_test_.Start(selection_);
}

void CServoTest::StopTest() {
    SetTestCaption(false);
    comm_test_.Stop();
}

void CServoTest::OnClear() {
    if (view_) view_->SetText(kResultEdit, "");
    comm_test_.ClearCounts();
}

std::string CServoTest::RunPass() {
    CommunicationTest::Selection s;
    {
        std::lock_guard g(selection_mutex_);
        s = selection_;
    }
    return comm_test_.RunPass(s);
}

// ---- The exchange ---------------------------------------------------------------------------

int CServoTest::BuildBlock(uint8_t* packet, int i) const {
    return BootExchange::BuildBlock(image_, raw_flag_, open_flag_, packet, i);
}

void CServoTest::UpgradeFailed() {
    if (view_)
        view_->ShowMessage(PickText(chinese_, "Firmware upgrade", "固件升级"),
                           PickText(chinese_, "Firmware upgrade failed", "固件升级失败"), true);
}

void CServoTest::OnUpgrade() {
    // Without an image the servo would be left in its boot loader with nothing sent.
    if (image_.length == 0 || exchange_.running()) return;
    ExchangeJob job{image_, raw_flag_, open_flag_, device_kind_, -1};
    {
        std::lock_guard g(selection_mutex_);
        job.id = selection_.id;
    }
    if (!exchange_.Start(std::move(job))) return;
    if (view_) view_->Enable(kUpgradeButton, false);
}
