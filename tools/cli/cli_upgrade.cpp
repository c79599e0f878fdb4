#include "tools/cli/cli_upgrade.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

#include "app/servo_search.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
#include "pages/upgrade/text_progress.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

namespace {

std::string WithLf(const std::string& text) {
    std::string out;
    for (size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\r' && k + 1 < text.size() && text[k + 1] == '\n') continue;
        out += text[k];
    }
    return out;
}

// The page on a console: edits and boxes printed, the open dialog answered with the file
// of the command line, the progress bar's text on standard error whenever it changes.
class ConsoleUpgradeView : public ServoTestView {
  public:
    ConsoleUpgradeView(std::ostream& out, std::ostream& err, std::string file)
        : out_(out), err_(err), file_(std::move(file)) {}

    void SetText(int control, const std::string& text) override {
        if (control == kResultEdit && !text.empty()) {
            out_ << WithLf(text);
            out_.flush();
            ++passes;
        } else if (control == kFirmwareLogEdit && !text.empty()) {
            std::ostream& to = log_to_err ? err_ : out_;
            to << WithLf(text);
            if (log_to_err && text.back() != '\n') to << "\n";
            to.flush();
        }
    }
    void Enable(int control, bool enabled) override {
        if (control == kUpgradeButton) upgrade_enabled = enabled;
    }
    void SetProgressRange(int lower, int upper) override {
        progress_.SetRange(lower, upper);
        PrintProgress();
    }
    void SetProgressStep(int step) override { progress_.SetStep(step); }
    void SetProgressPos(int position) override {
        progress_.SetPos(position);
        PrintProgress();
    }
    bool AskOpenFile(const std::string&, const std::string&, std::string& path) override {
        path = file_;
        return true;
    }
    void ShowMessage(const std::string&, const std::string& text, bool error) override {
        (error ? err_ : out_) << text << "\n";
    }
    void TestEnded() override { test_ended = true; }
    void UpgradeEnded(bool succeeded) override {
        upgrade_ended = true;
        upgrade_ok = succeeded;
    }

    int passes = 0;
    bool log_to_err = false;  // the log only explains a refused file
    bool upgrade_enabled = false;
    bool test_ended = false;
    bool upgrade_ended = false;
    bool upgrade_ok = false;

  private:
    void PrintProgress() {
        const std::string text = progress_.Text();
        if (text == shown_) return;
        shown_ = text;
        err_ << text << "\n";
        err_.flush();
    }

    std::ostream& out_;
    std::ostream& err_;
    std::string file_;
    TextProgress progress_;
    std::string shown_;
};

// Runs posted work until done() holds.
template <typename Done>
void Serve(QueuedDispatcher& ui, Done done) {
    while (!done()) {
        if (ui.Drain() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ui.Drain();
}

int DeviceKey(const std::string& device) {
    if (device == "pwm") return 'R';
    if (device == "modbus") return 'M';
    return 'B';
}

}  // namespace

bool IsUpgradeCommand(const std::string& command) {
    return command == "commtest" || command == "upgrade" || command == "firmware-online";
}

bool ParseUpgradeCommand(const std::vector<std::string>& rest, CliOptions& o, std::string& error) {
    long v = 0;
    if (o.command == "commtest") {
        // ID[,ID...] [PASSES]
        if (rest.empty() || rest.size() > 2) {
            error = "usage: commtest ID[,ID...] [PASSES]";
            return false;
        }
        size_t start = 0;
        for (;;) {
            const size_t comma = rest[0].find(',', start);
            if (!ParseNumber(rest[0].substr(start, comma - start), 0, 253, v)) {
                error = "commtest: bad id list " + rest[0];
                return false;
            }
            o.ids.push_back(static_cast<uint8_t>(v));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
        long passes = 1;
        if (rest.size() == 2 && !ParseNumber(rest[1], 1, 1000000, passes)) {
            error = "commtest: bad number of passes " + rest[1];
            return false;
        }
        o.numbers = {passes};
    } else if (o.command == "upgrade") {
        // ID FILE [--device bus|pwm|modbus]
        std::string device = "bus";
        if (rest.size() == 4 && rest[2] == "--device" &&
            (rest[3] == "bus" || rest[3] == "pwm" || rest[3] == "modbus")) {
            device = rest[3];
        } else if (rest.size() != 2) {
            error = "usage: upgrade ID FILE [--device bus|pwm|modbus]";
            return false;
        }
        if (!ParseNumber(rest[0], 0, 253, v) || rest[1].empty()) {
            error = "usage: upgrade ID FILE [--device bus|pwm|modbus]";
            return false;
        }
        o.numbers = {v};
        o.words = {rest[1], device};
    } else {
        // ID [--upgrade]
        const bool then_upgrade = rest.size() == 2 && rest[1] == "--upgrade";
        if ((rest.size() != 1 && !then_upgrade) || !ParseNumber(rest[0], 0, 253, v)) {
            error = "usage: firmware-online ID [--upgrade]";
            return false;
        }
        o.numbers = {v};
        if (then_upgrade) o.words = {"--upgrade"};
    }
    if (o.port.empty()) {
        error = o.command + " needs --port";
        return false;
    }
    return true;
}

int RunUpgradeCommand(const CliOptions& o, CQVComm& port, std::ostream& out, std::ostream& err) {
    Tervion t;
    t.Comm = &port;
    t.End = static_cast<uint8_t>(o.end);
    t.Level = static_cast<uint8_t>(o.level);
    Modbus m;
    m.Port = &port;
    BusLock lock;
    const bool chinese = UserIsChinese();
    StringTable strings(chinese);
    SettingsStore settings(SettingsStore::DefaultFolder());
    ServoSetup setup(strings, settings);
    if (!o.setup_dir.empty()) setup.SetFolders(o.setup_dir);
    ServoSearch search(t, m, &setup, lock);
    QueuedDispatcher ui;
    ConsoleUpgradeView view(out, err, o.words.empty() ? "" : o.words[0]);
    CServoTest page(m, t, setup, lock, chinese, ui);
    page.InitDialog(&view);

    if (o.command == "upgrade") {
        // No probe: the device may already sit in its boot loader, where a probe's bytes are
        // noise to it. The image is loaded before anything goes on the line.
        const int id = static_cast<int>(o.numbers[0]);
        FoundServo servo;
        servo.record.set_id(static_cast<uint8_t>(id));
        page.SetServo(id, {&servo, 1}, 0, "");
        page.OnKey(static_cast<char>(DeviceKey(o.words[1])));
        view.log_to_err = true;
        page.OnOpen();
        if (!view.upgrade_enabled) {
            err << "cannot load " << o.words[0] << "\n";
            return 1;
        }
        page.OnUpgrade();
        Serve(ui, [&] { return view.upgrade_ended; });
        page.Shutdown();
        return view.upgrade_ok ? 0 : 1;
    }

    // The servos as the search finds them; the first one listed is the one selected.
    std::vector<uint8_t> ids =
        o.command == "commtest" ? o.ids : std::vector<uint8_t>{uint8_t(o.numbers[0])};
    std::vector<FoundServo> found;
    std::string name;
    for (size_t k = 0; k < ids.size(); ++k) {
        const std::optional<SearchHit> hit = search.Probe(ids[k]);
        if (!hit && k == 0) {
            err << "no device at ID " << int(ids[0]) << "\n";
            return 1;
        }
        if (!hit) continue;
        if (k == 0) name = GbkToUtf8(hit->name);
        found.push_back(FoundServo{hit->record, hit->kind, 0});
    }

    if (o.command == "commtest") {
        page.SetServo(found[0].record.id(), found, 0, name);
        if (page.servo_count() == 0) {
            err << "no debug row for the model of servo " << int(found[0].record.id()) << "\n";
            return 1;
        }
        page.SetPassLimit(static_cast<int>(o.numbers[0]));
        page.OnTest();
        Serve(ui, [&] { return view.test_ended; });
        page.Shutdown();
        return 0;
    }

    // firmware-online
    const int id = static_cast<int>(o.numbers[0]);
    page.SetServo(id, {found.data(), 1}, 0, name);
    page.OnOnline();
    ui.Drain();
    if (!view.upgrade_enabled) return 1;
    if (o.words.empty()) return 0;
    page.OnUpgrade();
    Serve(ui, [&] { return view.upgrade_ended; });
    page.Shutdown();
    return view.upgrade_ok ? 0 : 1;
}
