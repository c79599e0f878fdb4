#include "app/servo_main.h"

#include <algorithm>
#include <initializer_list>
#include <mutex>

#include "app/port_names.h"
#include "app/servo_identity.h"
#include "app/servo_main_view.h"
#include "app/servo_search.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/number_text.h"
#include "platform/port_access.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "transport/bus_rates.h"
#include "transport/cqv_comm.h"

namespace {

// A number shown in a control (a rate, the extra time-out, an id in the list), read as the
// leading integer of its text and kept within int.
// String-table ids of the texts dialog 130 loads.
enum TextId : int {
    kTextOpen = 153,
    kTextSearch = 154,
    kTextClose = 155,
    kTextStop = 156,
    kTextPing = 157,
    kTextModel = 159,
    kTextId = 160,
    kTextDebug = 161,
    kTextProgramming = 162,
    kTextUpgradeOwnsLine = 13110,
    kTextUpgrade = 163,
    kTextSelect = 166,
    kTextPwm = 209,
    kTextPortDenied = 13201,
    kTextAllRates = 13210,
    kTextBaudColumn = 13211,
    kTextGarbled = 13212,
    kTextDiscoveryPing = 13213,
};

const char* const kParities[] = {"NONE", "ODD", "EVEN"};

// The table texts carry one "%d" for the id.
std::string WithId(const std::string& pattern, int id) {
    std::string out = pattern;
    const auto at = out.find("%d");
    if (at != std::string::npos) out.replace(at, 2, std::to_string(id));
    return out;
}

// Each "%d" of pattern in turn takes the next number.
std::string WithNumbers(const std::string& pattern, std::initializer_list<int> numbers) {
    std::string out = pattern;
    size_t from = 0;
    for (int n : numbers) {
        const auto at = out.find("%d", from);
        if (at == std::string::npos) break;
        const std::string text = std::to_string(n);
        out.replace(at, 2, text);
        from = at + text.size();
    }
    return out;
}

}  // namespace

CServoMain::CServoMain(ServoMainView& view, UiDispatcher& ui, const StringTable& strings)
    : view_(view),
      ui_(ui),
      strings_(strings),
      chinese_(strings.chinese()),
      port_access_denied_(PortAccessDenied) {}

CServoMain::~CServoMain() { Shutdown(); }

void CServoMain::Wire(const MainPages& pages, const MainBus& bus, bool chinese) {
    pages_ = pages;
    bus_ = bus;
    chinese_ = chinese;
    search_ = std::make_unique<ServoSearch>(*bus.tervion, *bus.modbus, bus.setup, *bus.lock);
}

CQVComm& CServoMain::comm() const { return *bus_.tervion->Comm; }

std::string CServoMain::Str(int id) const { return strings_.Get(id); }

void CServoMain::PostToUi(std::function<void()> fn) { ui_.Post(std::move(fn)); }

void CServoMain::OnInitDialog() {
    view_.SetCaption(kCaption);
    view_.InsertTab(kTabDebug, Str(kTextDebug));
    view_.InsertTab(kTabProgramming, Str(kTextProgramming));
    view_.InsertTab(kTabUpgrade, Str(kTextUpgrade));
    view_.InsertTab(kTabPwm, Str(kTextPwm));
    current_tab_ = kTabDebug;
    view_.SelectTab(kTabDebug);
    view_.ShowPage(-1, kTabDebug);

    view_.ClearCombo(kBaudCombo);
    int position = 0;
    for (int rate : bus_rates::kRates)
        view_.InsertComboItem(kBaudCombo, position++, std::to_string(rate));
    view_.SelectComboItem(kBaudCombo, bus_rates::kDefaultPosition);

    view_.ClearCombo(kParityCombo);
    position = 0;
    for (const char* parity : kParities) view_.InsertComboItem(kParityCombo, position++, parity);
    view_.SelectComboItem(kParityCombo, 0);

    view_.SetTextLimit(kTimeoutEdit, 3);
    view_.SetText(kTimeoutEdit, "25");

    view_.SetListColumns({Str(kTextId), Str(kTextModel)}, {40, 110});
    view_.SetText(kOpenButton, Str(kTextOpen));
    view_.SetText(kSearchButton, Str(kTextSearch));
    view_.SetText(kAllRatesCheck, Str(kTextAllRates));
    view_.SetProgress(0, 0);
    FillPortCombo();
}

void CServoMain::FillPortCombo() {
    CQVComm& port = comm();
    const int count = port.EnumeratePorts();
    view_.ClearCombo(kPortCombo);
    for (int i = 0; i < count && i < CQVComm::kMaxPorts; ++i) {
        const std::string name = StablePortName(port.PortNames[i]);
        if (name == preferred_port_ || port.PortNames[i] == preferred_port_) continue;
        view_.InsertComboItem(kPortCombo, 0, name);
    }
    if (!preferred_port_.empty()) view_.InsertComboItem(kPortCombo, 0, preferred_port_);
    view_.SelectComboItem(kPortCombo, 0);
}

void CServoMain::OnPortDropDown() { FillPortCombo(); }

void CServoMain::OnOpenClicked() {
    if (RefusedDuringUpgrade()) return;
    const int baud = LeadingInt(view_.Text(kBaudCombo));
    const int parity = view_.ComboSelection(kParityCombo);
    const int extra = LeadingInt(view_.Text(kTimeoutEdit));
    const std::string name = view_.Text(kPortCombo);
    CQVComm& port = comm();

    if (!port_open_.load()) {
        bool opened;
        {
            // Page timers may be mid-transaction on the old handle; open and configure
            // between transactions.
            std::lock_guard<BusLock> g(*bus_.lock);
            opened = port.OpenPort(name) == 1;
            if (opened) port.ConfigurePort(baud, parity, extra);
        }
        port_open_ = opened;
        if (!opened) {
            // Otherwise the port stays closed without a word; a refusal the user can mend
            // (group membership) is named on the status line.
            if (port_access_denied_ && port_access_denied_(name)) {
                std::string text = Str(kTextPortDenied);
                const auto at = text.find("%s");
                if (at != std::string::npos) text.replace(at, 2, name);
                view_.SetText(kStatusLine, text);
            }
            return;
        }
        view_.SetText(kOpenButton, Str(kTextClose));
        for (int control : {kBaudCombo, kPortCombo, kParityCombo, kTimeoutEdit})
            view_.Enable(control, false);
    } else {
        // A running search stops at its next id and so stops competing for the bus lock;
        // the handle is closed between transactions, never under one.
        port_open_ = false;
        {
            std::lock_guard<BusLock> g(*bus_.lock);
            port.ClosePort();
        }
        view_.SetText(kOpenButton, Str(kTextOpen));
        for (int control : {kBaudCombo, kPortCombo, kParityCombo, kTimeoutEdit})
            view_.Enable(control, true);
    }
}

void CServoMain::StopPeriodicWork() {
    if (pages_.debug) pages_.debug->StopPolling();
    if (pages_.programming) pages_.programming->StopRefreshTimer();
    if (pages_.upgrade) pages_.upgrade->StopTest();
    if (pages_.pwm) pages_.pwm->StopAuto();
}

void CServoMain::OnSearchClicked() {
    if (!port_open_.load() || RefusedDuringUpgrade()) return;
    if (search_active_) {
        searching_ = false;  // the worker leaves its loop at the next id
        return;
    }
    JoinWorker();  // a finished worker from the previous run
    StopPeriodicWork();
    const bool all_rates = view_.IsChecked(kAllRatesCheck);
    view_.SetText(kSearchButton, Str(kTextStop));
    view_.Enable(kAllRatesCheck, false);
    view_.ClearList();
    if (all_rates != rate_column_) {
        rate_column_ = all_rates;
        if (all_rates)
            view_.SetListColumns({Str(kTextId), Str(kTextModel), Str(kTextBaudColumn)},
                                 {40, 110, 60});
        else
            view_.SetListColumns({Str(kTextId), Str(kTextModel)}, {40, 110});
    }
    count_before_search_ = found_count_;
    found_count_ = 0;
    garbled_.clear();
    pending_baud_ = 0;
    search_active_ = true;
    searching_ = true;
    if (all_rates) {
        DiscoveryOptions options = discovery_options_;
        options.parity = view_.ComboSelection(kParityCombo);
        view_.SetProgress(0, 1);
        worker_ = std::thread([this, options] { RunDiscovery(options); });
        return;
    }
    view_.SetProgress(0, ServoSearch::kSteps);
    worker_ = std::thread([this] { RunSearch(); });
}

void CServoMain::RunDiscovery(DiscoveryOptions options) {
    Discovery discovery(comm(), bus_.setup, *bus_.lock);
    discovery.keep_going = [this] { return searching_.load() && port_open_.load(); };
    discovery.on_progress = [this](const DiscoveryProgress& p) {
        PostToUi([this, p] { OnDiscoveryProgress(p); });
    };
    discovery.on_find = [this](const DiscoveryFind& f) {
        PostToUi([this, f] { OnDiscoveryFind(f); });
    };
    discovery.Run(options);  // the port is back at its rate before the end is posted
    PostToUi([this] { OnSearchEnded(); });
}

void CServoMain::OnDiscoveryProgress(const DiscoveryProgress& p) {
    view_.SetText(kStatusLine, WithNumbers(Str(kTextDiscoveryPing), {p.baud, p.id, p.found}));
    view_.SetProgress(p.done + 1, p.total);
}

std::string CServoMain::GarbledText(int id) const { return WithId(Str(kTextGarbled), id); }

void CServoMain::AppendRateRow(int id, const std::string& text, int baud) {
    view_.AppendRow(std::to_string(id), text);
    if (rate_column_) view_.SetCellText(view_.RowCount() - 1, 2, std::to_string(baud));
}

void CServoMain::OnDiscoveryFind(const DiscoveryFind& f) {
    if (found_count_ + static_cast<int>(garbled_.size()) >= kMaxServos) return;
    if (f.garbled) {
        garbled_.emplace_back(f.id, f.baud);
        AppendRateRow(f.id, GarbledText(f.id), f.baud);
        return;
    }
    const int rows_before = view_.RowCount();
    found_[found_count_++] = FoundServo{f.hit.record, f.hit.kind, f.baud};
    if (garbled_.empty()) {
        AppendRateRow(f.id, GbkToUtf8(f.hit.name), f.baud);
        return;
    }
    // Row i is device i: the list is rebuilt with the garbled rows behind the new device.
    std::vector<std::pair<std::string, std::string>> devices;
    for (int row = 0; row < found_count_ - 1 && row < rows_before; ++row)
        devices.emplace_back(view_.CellText(row, 0), view_.CellText(row, 1));
    view_.ClearList();
    for (size_t row = 0; row < devices.size(); ++row)
        AppendRateRow(LeadingInt(devices[row].first), devices[row].second, found_[row].baud);
    AppendRateRow(f.id, GbkToUtf8(f.hit.name), f.baud);
    for (const auto& [id, baud] : garbled_) AppendRateRow(id, GarbledText(id), baud);
}

void CServoMain::RunSearch() {
    for (int step = 0; step < ServoSearch::kSteps; ++step) {
        if (!searching_.load() || !port_open_.load()) break;
        const int id = ServoSearch::IdAt(step);
        PostToUi([this, step, id] { OnSearchProgress(step, id); });
        if (auto hit = search_->Probe(id)) {
            PostToUi([this, hit = *hit, id] { OnSearchHit(hit, id); });
        }
    }
    PostToUi([this] { OnSearchEnded(); });
}

void CServoMain::OnSearchProgress(int step, int id) {
    view_.SetText(kStatusLine, WithId(Str(kTextPing), id));
    view_.SetProgress(step + 1, ServoSearch::kSteps);
}

void CServoMain::OnSearchHit(const SearchHit& hit, int id) {
    if (found_count_ >= kMaxServos) return;
    found_[found_count_++] = FoundServo{hit.record, hit.kind, 0};
    view_.AppendRow(std::to_string(id), GbkToUtf8(hit.name));
}

void CServoMain::OnSearchEnded() {
    searching_ = false;
    search_active_ = false;
    if (found_count_ != count_before_search_) selected_ = -1;
    view_.SetText(kStatusLine, Str(kTextStop));
    view_.SetText(kSearchButton, Str(kTextSearch));
    view_.Enable(kAllRatesCheck, true);
    view_.SetProgress(0, 0);
    if (closing_) return;  // a closing window starts no page work
    // A device picked during an all-rate search: its rate now that the search is done
    // with the port.
    if (pending_baud_ > 0 && pending_baud_ != comm().BaudRate.load() && port_open_.load()) {
        const int position = bus_rates::PositionOf(pending_baud_);
        if (position >= 0) SwitchPort(position, view_.ComboSelection(kParityCombo));
    }
    pending_baud_ = 0;
    if (current_tab_ == kTabDebug && pages_.debug) pages_.debug->StartPolling();
    if (current_tab_ == kTabProgramming && pages_.programming) {
        if (pending_torque_) pages_.programming->SetTorqueByte(0);
        pages_.programming->StartRefreshTimer();
    }
    pending_torque_ = false;
}

void CServoMain::JoinWorker() {
    if (worker_.joinable()) worker_.join();
}

// A firmware exchange owns the line until it has restored the port: no search, and the
// port is neither closed nor reconfigured under it.
bool CServoMain::RefusedDuringUpgrade() {
    if (!pages_.upgrade || !pages_.upgrade->UpgradeRunning()) return false;
    view_.SetText(kStatusLine, Str(kTextUpgradeOwnsLine));
    return true;
}

void CServoMain::Shutdown() {
    if (pages_.upgrade) pages_.upgrade->Shutdown();  // ends an exchange, port restored
    closing_ = true;
    searching_ = false;
    JoinWorker();
}

void CServoMain::SwitchToRowRate(int row) {
    const int baud = found_[row].baud;
    if (baud <= 0) return;
    if (search_active_) {
        pending_baud_ = baud;  // the search still moves the port from rate to rate
        return;
    }
    if (baud == comm().BaudRate.load()) return;
    const int position = bus_rates::PositionOf(baud);
    if (position >= 0 && port_open_.load())
        SwitchPort(position, view_.ComboSelection(kParityCombo));
}

void CServoMain::OnListClicked(int row) {
    // The rows behind the devices are ids whose replies collided: shown, never selected.
    if (row >= found_count_ && row < view_.RowCount()) {
        view_.SetText(kStatusLine, view_.CellText(row, 1));
        return;
    }
    if (row < 0 || row >= found_count_ || row >= view_.RowCount()) return;
    // A device found at another rate is talked to at its rate.
    SwitchToRowRate(row);
    const ServoInfo& record = found_[row].record;
    bus_.tervion->End = record.byte_order();
    bus_.tervion->Level = record.level();

    const int id = LeadingInt(view_.CellText(row, 0));
    selected_ = row;
    view_.SetText(kStatusLine, WithId(Str(kTextSelect), id));
    if (pages_.debug) pages_.debug->SelectServo(id, found(), row);
    if (pages_.programming) pages_.programming->SelectServo(id, record, found_[row].kind);
    if (pages_.upgrade) pages_.upgrade->SetServo(id, found(), row, view_.CellText(row, 1));
    if (pages_.pwm) pages_.pwm->SelectServo(id);
    // During a search the line may be at another rate: the torque write waits for its end.
    if (current_tab_ == kTabProgramming && pages_.programming) {
        if (search_active_)
            pending_torque_ = true;
        else
            pages_.programming->SetTorqueByte(0);
    }
}

void CServoMain::OnArrowKeyReleased() {
    const int mark = view_.SelectionMark();
    if (mark >= 0 && view_.IsRowSelected(mark)) OnListClicked(mark);
}

void CServoMain::OnTabChanged(int new_tab) {
    const int old_tab = current_tab_;
    // The other pages use the bus from the user-interface thread (torque writes, the PWM
    // adapter's activation, button handlers) and would freeze the window until the
    // exchange let go of the line: the Upgrade tab stays until the upgrade has ended.
    if (old_tab == kTabUpgrade && new_tab != kTabUpgrade && RefusedDuringUpgrade()) {
        view_.SelectTab(kTabUpgrade);
        return;
    }
    current_tab_ = new_tab;

    switch (old_tab) {
        case kTabPwm:
            if (pages_.pwm) pages_.pwm->Deactivate();
            break;
        case kTabDebug:
            if (pages_.debug) pages_.debug->StopPolling();
            break;
        case kTabProgramming:
            if (pages_.programming) pages_.programming->StopRefresh();
            break;
        case kTabUpgrade:
            if (pages_.upgrade) pages_.upgrade->StopTest();
            break;
        default:
            break;
    }
    if (new_tab == kTabDebug && !search_active_) {
        if (pages_.debug) pages_.debug->StartPolling();
    }
    if (new_tab == kTabProgramming && !search_active_) {
        if (old_tab != kTabPwm && pages_.pwm) pages_.pwm->Deactivate();
        if (pages_.programming) pages_.programming->StartRefresh();
    }
    if (new_tab == kTabUpgrade && old_tab != kTabPwm) {
        if (pages_.pwm) pages_.pwm->Deactivate();
    }
    if (new_tab == kTabPwm) {
        if (pages_.pwm) pages_.pwm->Activate();
    }
    if (new_tab != old_tab) view_.ShowPage(old_tab, new_tab);
}

void CServoMain::OnCtrlN() {
    bus_.setup->UseLocalFiles();
    view_.ShowMessage(PickText(chinese_, "Import local setup file!", "导入本地配置文件!"),
                      PickText(chinese_, "setup file", "配置文件"), MessageIcon::kWarning);
}

void CServoMain::SetStatusText(const std::string& text) { view_.SetText(kStatusLine, text); }

bool CServoMain::ReadServoIdentity(int id, uint8_t identity[5], ServoKind kind) {
    return ReadIdentityFromBus(*bus_.tervion, *bus_.modbus, *bus_.lock, id, identity, kind);
}

int CServoMain::CompareServoModel(int id, const uint8_t identity[5], ServoKind kind) {
    return CompareModelOnBus(*bus_.setup, *bus_.tervion, *bus_.modbus, *bus_.lock, id, identity,
                             kind);
}

bool CServoMain::IdInUse(int id) {
    for (int i = 0; i < found_count_; ++i) {
        if (i != selected_ && found_[i].record.id() == id) return true;
    }
    return false;
}

int CServoMain::FollowBaudChange(int index, int parity, ServoKind kind) {
    // The combos show the rate the port is moved to.
    const int position = bus_rates::PositionOfIndex(index, kind == kKindModbus);
    if (position >= 0) {
        view_.SelectComboItem(kBaudCombo, position);
        view_.SelectComboItem(kParityCombo, parity);
    }
    return bus_rates::FollowServoRate(comm(), *bus_.lock, index, parity, kind == kKindModbus);
}

int CServoMain::SwitchPort(int position, int parity) {
    view_.SelectComboItem(kBaudCombo, position);
    view_.SelectComboItem(kParityCombo, parity);
    std::lock_guard<BusLock> g(*bus_.lock);
    return comm().SetBaud(bus_rates::RateAt(position), parity);
}

void CServoMain::ServoIdChanged(int old_id, int new_id) {
    for (int i = 0; i < found_count_; ++i) {
        if (found_[i].record.id() == old_id) {
            found_[i].record.set_id(static_cast<uint8_t>(new_id));
            break;
        }
    }
    const std::string old_text = std::to_string(old_id);
    for (int row = 0; row < view_.RowCount(); ++row) {
        if (view_.CellText(row, 0) == old_text) {
            view_.SetCellText(row, 0, std::to_string(new_id));
            break;
        }
    }
}
