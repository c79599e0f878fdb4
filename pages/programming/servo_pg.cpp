#include "pages/programming/servo_pg.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "pages/programming/main_window_services.h"
#include "platform/number_text.h"
#include "platform/system.h"
#include "platform/ui_dispatcher.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

using namespace pg;

namespace {

// Stands in until the page has a screen, so handlers never test for one.
class NullView : public ServoPGView {
  public:
    void SetText(int, const std::string&) override {}
    std::string Text(int) const override { return {}; }
    void Enable(int, bool) override {}
    void Show(int, bool) override {}
    void SetColumns(const std::array<std::string, 5>&, const std::array<int, 5>&) override {}
    void SetRows(const std::vector<PgRow>&) override {}
    void SetValues(const std::vector<std::pair<int, std::string>>&) override {}
    int RowCount() const override { return 0; }
    std::string CellText(int, int) const override { return {}; }
    int SelectionMark() const override { return -1; }
    bool IsRowSelected(int) const override { return false; }
    void ShowMessage(const std::string&, const std::string&, PgIcon) override {}
    std::string AskSavePath(const std::string&, const std::string&) override { return {}; }
    std::string AskOpenPath(const std::string&, const std::string&) override { return {}; }
    void SetBusy(bool) override {}
};

NullView g_null_view;

constexpr uint16_t kStoreModeRegister = 133;
constexpr int kModbusIdRegister = 10;
constexpr int kModbusBaudRegister = 11;

uint8_t Low8(int v) { return static_cast<uint8_t>(v & 0xFF); }

// Setup-file texts are code page 936 bytes in the Chinese files; the page works in UTF-8.
void ToUtf8(MemoryEntry& row) {
    for (std::string& f : row.field) f = GbkToUtf8(f);
}

}  // namespace

struct CServoPG::TickResult {
    uint64_t generation = 0;
    bool answered = false;
    std::vector<std::pair<int, std::string>> values;
    std::string status;
};

CServoPG::CServoPG(ServoSetup& setup, BusLock& lock, Modbus& modbus, Tervion& tervion,
                   MainWindowServices& main, bool chinese, UiDispatcher& ui)
    : setup_(setup),
      bus_lock_(lock),
      modbus_(modbus),
      tervion_(tervion),
      main_(main),
      ui_(ui),
      texts_(chinese),
      writers_(tervion, modbus, main),
      view_(&g_null_view) {}

CServoPG::~CServoPG() {
    worker_.Stop();
    ui_.Revoke();
    view_->PageDestroyed();
}

void CServoPG::AttachView(ServoPGView* view) { view_ = view ? view : &g_null_view; }

void CServoPG::InitDialog(ServoPGView* view) {
    AttachView(view);
    std::array<std::string, 5> titles;
    for (int c = 0; c < 5; ++c) titles[c] = texts_.columns[c];
    view_->SetColumns(titles, {60, 160, 80, 80, 80});
    view_->SetText(kStatusBox, texts_.timeout);
    view_->SetText(kNameStatic, "--");
    view_->SetText(kValueButton, texts_.save_button);
    view_->Enable(kValueEdit, false);
    view_->Enable(kValueButton, false);
    view_->Show(kBackupButton, false);
}

// ---- Selection and refresh ----------------------------------------------------------------

void CServoPG::SelectServo(int id, const ServoInfo& record, ServoKind kind) {
    std::copy(record.begin(), record.begin() + 5, identity_);
    std::lock_guard<std::mutex> g(selection_lock_);
    target_.id = id;
    target_.kind = kind;
    std::copy(record.begin(), record.begin() + 5, target_.identity);
    target_.generation = ++generation_;
    reload_ = true;
}

CServoPG::Target CServoPG::Snapshot() const {
    std::lock_guard<std::mutex> g(selection_lock_);
    return target_;
}

int CServoPG::servo_id() const { return Snapshot().id; }
ServoKind CServoPG::kind() const { return Snapshot().kind; }

int CServoPG::TotalLength() const {
    std::lock_guard<std::mutex> g(data_lock_);
    return layout_.total;
}

pg::AreaLayout CServoPG::Layout() const {
    std::lock_guard<std::mutex> g(data_lock_);
    return layout_;
}

CServoPG::Data CServoPG::CopyData() const {
    std::lock_guard<std::mutex> g(data_lock_);
    return {table_, layout_, images_, areas_read_};
}

std::shared_ptr<const CServoPG::Table> CServoPG::CurrentTable() const {
    std::lock_guard<std::mutex> g(data_lock_);
    return table_;
}

void CServoPG::StartRefreshTimer() {
    if (worker_.Running()) return;
    worker_.Start(std::chrono::milliseconds(kRefreshPeriodMs), [this] { RefreshTick(); });
}

void CServoPG::StopRefreshTimer() { worker_.Stop(); }

void CServoPG::StartRefresh() {
    StartRefreshTimer();
    SetTorqueByte(0);
}

void CServoPG::StopRefresh() {
    StopRefreshTimer();
    SetTorqueByte(1);
}

void CServoPG::SetTorqueByte(int value) {
    const Target t = Snapshot();
    const uint8_t torque = tervion_.TorqueAddress;
    if (t.kind != kKindPwm || torque == 0 || t.id < 0) return;
    std::lock_guard<BusLock> g(bus_lock_);
    tervion_.WriteByte(Low8(t.id), torque, Low8(value));
}

int CServoPG::LoadTable(MemoryEntry* rows, const uint8_t* identity, ServoKind kind) {
    return setup_.LoadMemoryTable(setup_.FileForKind(kind), rows, kTableRows, identity);
}

void CServoPG::ReloadTable(const Target& t) {
    std::vector<MemoryEntry> rows(kTableRows);
    const int n = LoadTable(rows.data(), t.identity, t.kind);
    rows.resize(static_cast<size_t>(std::max(n, 0)));
    for (MemoryEntry& row : rows) ToUtf8(row);
    const AreaLayout layout = ComputeAreas(rows);
    // A table whose areas do not fit the images is refused like a missing one.
    const bool usable = n > 0 && FitsImages(layout, t.kind);
    auto table = std::make_shared<const Table>(usable ? std::move(rows) : Table{});
    {
        std::lock_guard<std::mutex> g(data_lock_);
        table_ = table;
        layout_ = usable ? layout : AreaLayout{};
        images_ = Images{};
        areas_read_ = 0;
    }
    // A table without any area keeps the list as it was.
    if (usable && layout.total == 0) return;
    ui_.Post([this, table, gen = t.generation] { ShowRows(gen, table); });
}

void CServoPG::ShowRows(uint64_t generation, std::shared_ptr<const Table> table) {
    if (!Current(generation)) return;
    rows_generation_ = generation;
    // The same table again (the servo re-selected by an arrow key): the list, its values
    // and the row the user is editing stay as they are.
    auto same_rows = [](const MemoryEntry& a, const MemoryEntry& b) { return a.field == b.field; };
    if (shown_table_ && std::equal(table->begin(), table->end(), shown_table_->begin(),
                                   shown_table_->end(), same_rows))
        return;
    shown_table_ = table;
    // A rebuilt list has no selected row: nothing may be edited until one is chosen.
    view_->Enable(kValueEdit, false);
    view_->Enable(kValueButton, false);
    view_->SetText(kNameStatic, "--");
    std::vector<PgRow> rows;
    rows.reserve(table->size());
    shown_values_.clear();
    for (const MemoryEntry& e : *table) {
        rows.push_back(
            {e.field[kAddress], e.field[kName], e.field[kValue], e.field[kArea], e.field[kAccess]});
        shown_values_.push_back(e.field[kValue]);
    }
    view_->SetRows(rows);
}

void CServoPG::RefreshTick() {
    Target t;
    bool reload = false;
    {
        std::lock_guard<std::mutex> g(selection_lock_);
        t = target_;
        reload = reload_;
        reload_ = false;
    }
    if (reload) ReloadTable(t);

    Data data = CopyData();
    const std::shared_ptr<const Table>& table = data.table;
    const AreaLayout& layout = data.layout;
    Images& images = data.images;
    TickResult r;
    r.generation = t.generation;
    uint8_t error = 0;
    int end = 0;
    bool level_known = false;
    uint32_t read_now = 0;
    if (layout.total != 0 && t.id >= 0) {
        const uint8_t id = Low8(t.id);
        std::lock_guard<BusLock> g(bus_lock_);
        if (t.kind == kKindModbus) {
            for (int a : {kInfo, kEprom, kSram, kRonly, kDefault}) {
                const AreaSpan& s = layout.area[a];
                if (s.length == 0) continue;
                uint16_t regs[kImageRegisters];
                const int got = modbus_.ReadHoldingRegisters(id, static_cast<uint16_t>(s.start),
                                                             regs, static_cast<uint16_t>(s.length));
                if (got != s.length || modbus_.status() != Rtu::kOk) continue;
                std::copy(regs, regs + s.length, images.regs[a].begin());
                read_now |= 1u << a;
                r.answered = true;
            }
            error = Low8(images.regs[kRonly][0]);
        } else {
            for (int a : {kEprom1, kSram1, kEprom, kSram, kDefault}) {
                const AreaSpan& s = layout.area[a];
                if (s.length == 0) continue;
                uint8_t bytes[kImageBytes];
                if (tervion_.Read(id, Low8(s.start), bytes, s.length) != s.length) continue;
                std::copy(bytes, bytes + s.length, images.bytes[a].begin());
                read_now |= 1u << a;
                if (a != kDefault) r.answered = true;
            }
            error = tervion_.Error;
            // The byte order and reply level come from the EPROM image where it holds them,
            // and only once the servo has filled it.
            const int eprom = layout.area[kEprom].length;
            const bool eprom_read = ((data.areas_read | read_now) & (1u << kEprom)) != 0;
            const bool order_known = t.kind != kKindPwm && eprom > 2 && eprom_read;
            end = order_known ? images.bytes[kEprom][2] : tervion_.End.load();
            level_known = t.kind == kKindServo && eprom > 8 && eprom_read;
        }
    }
    const uint32_t areas_read = data.areas_read | read_now;
    if (r.answered && Current(t.generation)) {
        if (level_known) tervion_.Level = images.bytes[kEprom][8];
        std::lock_guard<std::mutex> g(data_lock_);
        if (table == table_) {
            images_ = images;
            areas_read_ |= read_now;
        }
    }
    if (r.answered) {
        r.values = ValueTexts(*table, layout, images, t.kind, end, areas_read);
        r.status = StatusText(error, texts_);
    }
    ui_.Post([this, r = std::move(r)] { ApplyTick(r); });
}

void CServoPG::ApplyTick(const TickResult& r) {
    if (!Current(r.generation)) return;
    if (!r.answered) {
        view_->SetText(kStatusBox, texts_.timeout);
        return;
    }
    std::vector<std::pair<int, std::string>> changed;
    for (const auto& [row, text] : r.values) {
        if (row >= static_cast<int>(shown_values_.size())) continue;
        if (shown_values_[row] == text) continue;
        shown_values_[row] = text;
        changed.emplace_back(row, text);
    }
    if (!changed.empty()) view_->SetValues(changed);
    view_->SetText(kStatusBox, r.status);
}

// ---- Rows and the single write -------------------------------------------------------------

int CServoPG::FindEntryAddress(const std::string& name) const {
    const std::shared_ptr<const Table> table = CurrentTable();
    for (const MemoryEntry& e : *table)
        if (e.field[kName] == name) return LeadingInt(e.field[kAddress]);
    return -1;
}

void CServoPG::OnRowClicked(int row) {
    if (row < 0 || row >= view_->RowCount()) return;
    SelectRow(row, true);
}

void CServoPG::OnArrowReleased() {
    const int mark = view_->SelectionMark();
    if (mark >= 0 && view_->IsRowSelected(mark)) SelectRow(mark, false);
}

void CServoPG::OnCtrlD() {
    hidden_ = !hidden_;
    view_->Show(kBackupButton, hidden_);
}

void CServoPG::SelectRow(int row, bool by_click) {
    const std::string name = view_->CellText(row, 1);
    const std::string value = view_->CellText(row, 2);
    const std::string area = view_->CellText(row, 3);
    const std::string access = view_->CellText(row, 4);
    const bool editable = Editable(access, hidden_, by_click, texts_);
    view_->Enable(kValueEdit, editable);
    view_->Enable(kValueButton, editable);
    view_->SetText(kValueButton, IsPersistent(area) ? texts_.save_button : texts_.set_button);
    view_->SetText(kValueEdit, value);
    view_->SetText(kNameStatic, name);
}

bool CServoPG::OnValueButton() {
    const int row = view_->SelectionMark();
    if (row < 0 || !view_->IsRowSelected(row)) return false;
    if (view_->CellText(row, 4) == texts_.read_only_word) return false;
    const int v = LeadingInt(view_->Text(kValueEdit));
    // Until the list shows the selected servo's table, its rows name another servo's
    // addresses: nothing is written.
    const int r = Current(rows_generation_) ? WriteValue(row, v) : -2;
    if (r == 1) return false;  // refused by its limits; the box has been shown
    if (r == 0) {
        view_->ShowMessage(texts_.save_caption, texts_.saved, PgIcon::kExclamation);
    } else if (r == -1) {
        view_->ShowMessage(texts_.id_in_use_caption, texts_.id_in_use, PgIcon::kError);
    } else {
        view_->ShowMessage(texts_.save_caption, texts_.save_failed, PgIcon::kError);
    }
    return r == 0;
}

// 0 written, -1 id in use, -2 failed, 1 refused by a limit.
int CServoPG::WriteValue(int row, int v) {
    const std::shared_ptr<const Table> table = CurrentTable();
    if (row >= static_cast<int>(table->size())) return -2;
    const MemoryEntry& entry = (*table)[row];
    const int address = LeadingInt(view_->CellText(row, 0));
    const std::string name = view_->CellText(row, 1);
    const std::string area = view_->CellText(row, 3);
    const int minimum = LeadingInt(entry.field[kMinimum]);
    const int maximum = LeadingInt(entry.field[kMaximum]);
    if (minimum != -1 && v < minimum) {
        view_->ShowMessage(texts_.param_error_caption,
                           RangeMessage(texts_.too_small, name, minimum), PgIcon::kError);
        return 1;
    }
    if (maximum != -1 && v > maximum) {
        view_->ShowMessage(texts_.param_error_caption,
                           RangeMessage(texts_.too_large, name, maximum), PgIcon::kError);
        return 1;
    }
    const Target t = Snapshot();
    if (t.id < 0) return -2;
    return t.kind == kKindModbus ? WriteModbusValue(t, address, area, v)
                                 : WriteServoValue(t, entry, address, area, v);
}

int CServoPG::WriteModbusValue(const Target& t, int address, const std::string& area, int v) {
    const uint8_t id = Low8(t.id);
    const uint16_t value = static_cast<uint16_t>(v);
    const uint16_t reg = static_cast<uint16_t>(address);
    if (area == "EPROM") {
        if (address == kModbusIdRegister && main_.IdInUse(v & 255)) return -1;
        std::lock_guard<BusLock> g(bus_lock_);
        PortTimeout timeout(modbus_.Port, kSlowTimeoutMs);
        if (!modbus_.WriteRegister(id, kStoreModeRegister, 0)) return -2;
        // The store stays closed again after a failed write too.
        if (!modbus_.WriteRegister(id, reg, value)) {
            modbus_.WriteRegister(id, kStoreModeRegister, 1);
            return -2;
        }
        int now_id = t.id;
        if (address == kModbusIdRegister) {
            ServoIdChanged(t.id, v & 255);
            now_id = v & 255;
        } else if (address == kModbusBaudRegister) {
            main_.FollowBaudChange(v & 15, (v >> 4) & 15, kKindModbus);
            timeout.Keep();
        }
        return modbus_.WriteRegister(Low8(now_id), kStoreModeRegister, 1) ? 0 : -2;
    }
    if (area == "SRAM") {
        std::lock_guard<BusLock> g(bus_lock_);
        return modbus_.WriteRegister(id, reg, value) ? 0 : -2;
    }
    if (area == "DEFAULT" || area == "INFO") {
        std::lock_guard<BusLock> g(bus_lock_);
        PortTimeout timeout(modbus_.Port, kSlowTimeoutMs);
        if (!modbus_.WriteRegister(id, kStoreModeRegister, 128)) return -2;
        const bool written = modbus_.WriteRegister(id, reg, value) != 0;
        const bool closed = modbus_.WriteRegister(id, kStoreModeRegister, 1) != 0;
        return written && closed ? 0 : -2;
    }
    return -2;
}

int CServoPG::WriteServoValue(const Target& t, const MemoryEntry& entry, int address,
                              const std::string& area, int v) {
    const std::string& sign = entry.field[kSign];
    if (v < 0 && sign != "-1" && sign != "-2") v = EncodeSignMagnitude(v, LeadingInt(sign));
    const bool lock_wanted = IsPersistent(area);
    const int id_address = FindEntryAddress(texts_.id_name);
    if (address == id_address && main_.IdInUse(v & 255)) return -1;

    std::lock_guard<BusLock> g(bus_lock_);
    const int lock_address = FindEntryAddress(texts_.lock_name);
    const bool lock = lock_wanted && lock_address >= 0;
    PortTimeout timeout(tervion_.Comm, kSlowTimeoutMs);
    uint8_t id = Low8(t.id);
    auto pause = [this] {
        if (tervion_.Level == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(kNoReplyPauseMs));
    };
    if (lock && !tervion_.WriteByte(id, Low8(lock_address), 0)) return -2;
    pause();
    if (address == FindEntryAddress(texts_.ack_name)) tervion_.Level = Low8(v);
    const int ok = entry.field[kSize] == "1"
                       ? tervion_.WriteByte(id, Low8(address), Low8(v))
                       : tervion_.WriteWord(id, Low8(address), static_cast<uint16_t>(v));
    int result = -2;
    if (ok) {
        result = 0;
        if (address == id_address) {
            ServoIdChanged(t.id, v & 255);
            id = Low8(v);
        } else if (address == FindEntryAddress(texts_.baud_name)) {
            main_.FollowBaudChange(v & 15, (v >> 4) & 15, t.kind);
            timeout.Keep();
        }
    }
    // The lock is closed again even when the write failed, so that nothing written later
    // by anyone persists by accident.
    if (lock) {
        pause();
        if (!tervion_.WriteByte(id, Low8(lock_address), 1)) result = -2;
    }
    return result;
}

void CServoPG::ServoIdChanged(int old_id, int new_id) {
    main_.ServoIdChanged(old_id, new_id);
    std::lock_guard<std::mutex> g(selection_lock_);
    if (target_.id == old_id) target_.id = new_id;
}
