#include "tools/cli/cli_programming.h"

#include <mutex>
#include <optional>
#include <ostream>

#include "app/servo_identity.h"
#include "app/servo_search.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "pages/programming/servo_pg.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "tools/cli/cli_console_view.h"
#include "transport/bus_rates.h"
#include "transport/cqv_comm.h"

namespace {

// The main window's services without a window: the bus stands in for the servo list.
class CliServices : public MainWindowServices {
  public:
    CliServices(ServoSetup& setup, Tervion& t, Modbus& m, BusLock& lock, CQVComm& port,
                ServoSearch& search)
        : setup_(setup), t_(t), m_(m), lock_(lock), port_(port), search_(search) {}

    void SetStatusText(const std::string&) override {}
    bool ReadServoIdentity(int id, uint8_t identity[5], ServoKind kind) override {
        return ReadIdentityFromBus(t_, m_, lock_, id, identity, kind);
    }
    int CompareServoModel(int id, const uint8_t identity[5], ServoKind kind) override {
        return CompareModelOnBus(setup_, t_, m_, lock_, id, identity, kind);
    }
    // Another servo has this id when something other than the selected servo answers it.
    bool IdInUse(int id) override { return id != selected_ && search_.Probe(id).has_value(); }
    int FollowBaudChange(int index, int parity, ServoKind kind) override {
        return bus_rates::FollowServoRate(port_, lock_, index, parity, kind == kKindModbus);
    }
    void ServoIdChanged(int, int new_id) override { selected_ = new_id; }

    int selected_ = -1;

  private:
    ServoSetup& setup_;
    Tervion& t_;
    Modbus& m_;
    BusLock& lock_;
    CQVComm& port_;
    ServoSearch& search_;
};

// Status box lines, without their CR LF.
std::vector<std::string> StatusLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

bool IsProgrammingCommand(const std::string& c) {
    return c == "table" || c == "set" || c == "params";
}

bool ParseProgrammingCommand(const std::vector<std::string>& rest, CliOptions& o,
                             std::string& error) {
    std::vector<std::string> args = rest;
    std::string usage;
    size_t id_at = 0;
    if (o.command == "table") {
        usage = "usage: table ID";
        if (args.size() != 1) args.clear();
    } else if (o.command == "set") {
        usage = "usage: set ID NAME VALUE [--hidden]";
        if (args.size() == 4 && args[3] == "--hidden") {
            o.hidden = true;
            args.pop_back();
        }
        // VALUE goes into the edit as typed; the page reads the number from it.
        if (args.size() != 3) args.clear();
    } else {
        usage = "usage: params save|load ID FILE | params recovery|backup|online ID";
        const std::string sub = args.empty() ? "" : args[0];
        const bool with_file = sub == "save" || sub == "load";
        const bool without = sub == "recovery" || sub == "backup" || sub == "online";
        if ((!with_file && !without) || args.size() != (with_file ? 3u : 2u)) args.clear();
        id_at = 1;
    }
    long id = 0;
    if (args.empty() || !ParseNumber(args[id_at], 0, 253, id)) {
        error = usage;
        return false;
    }
    o.numbers = {id};
    o.words.assign(args.begin(), args.end());
    o.words.erase(o.words.begin() + static_cast<long>(id_at));
    if (o.port.empty() || o.setup_dir.empty()) {
        error = o.command + " needs --port and --setup-dir";
        return false;
    }
    return true;
}

int RunProgramming(const CliOptions& o, CQVComm& port, std::ostream& out, std::ostream& err) {
    const int id = static_cast<int>(o.numbers[0]);
    Tervion t;
    t.Comm = &port;
    Modbus m;
    m.Port = &port;
    BusLock lock;
    StringTable strings(false);
    SettingsStore settings(o.setup_dir);
    ServoSetup setup(strings, settings);
    setup.SetFolders(o.setup_dir);
    ServoSearch search(t, m, &setup, lock);

    const std::optional<SearchHit> hit = search.Probe(id);
    if (!hit) {
        err << "no device at ID " << id << "\n";
        return 1;
    }
    // Selected as a click on its row would select it.
    t.End = hit->record.byte_order();
    t.Level = hit->record.level();
    CliServices services(setup, t, m, lock, port, search);
    services.selected_ = id;
    QueuedDispatcher ui;
    ConsolePgView view(out, err);
    CServoPG page(setup, lock, m, t, services, false, ui);
    page.InitDialog(&view);
    page.SelectServo(id, hit->record, hit->kind);
    page.RefreshTick();
    ui.Drain();
    const bool answered = view.Text(kStatusBox) != page.Texts().timeout;

    if (o.command == "table") {
        for (const PgRow& row : view.rows())
            out << row[0] << '\t' << row[1] << '\t' << row[2] << '\t' << row[3] << '\t' << row[4]
                << '\n';
        for (const std::string& line : StatusLines(view.Text(kStatusBox)))
            out << "status: " << line << '\n';
        return answered ? 0 : 1;
    }
    if (o.command == "set") {
        const std::string& name = o.words[0];
        if (o.hidden) page.OnCtrlD();
        int row = -1;
        for (int r = 0; r < view.RowCount() && row < 0; ++r)
            if (view.CellText(r, 1) == name) row = r;
        if (row < 0) {
            err << "no entry " << name << "\n";
            return 1;
        }
        view.Mark(row);
        page.OnRowClicked(row);
        if (!view.IsEnabled(kValueEdit)) {
            err << name << " cannot be edited\n";
            return 1;
        }
        view.SetText(kValueEdit, o.words[1]);
        return page.OnValueButton() ? 0 : 1;
    }
    const std::string& sub = o.words[0];
    if (o.words.size() > 1) view.SetPath(o.words[1]);
    bool ok = false;
    if (sub == "save") {
        ok = page.OnSave();
    } else if (sub == "load") {
        ok = page.OnLoad();
    } else if (sub == "recovery") {
        ok = page.OnRecovery();
    } else if (sub == "backup") {
        ok = page.OnBackup();
    } else if (sub == "online") {
        ok = page.OnOnline();
    }
    return ok ? 0 : 1;
}
