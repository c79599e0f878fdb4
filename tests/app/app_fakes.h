#pragma once
// Fakes for driving CServoMain without a display: a view that keeps what it was told, pages
// that log the calls they receive, and a port whose far end is a function of the request.
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "app/servo_main_view.h"
#include "pages/page_interfaces.h"
#include "platform/ui_dispatcher.h"
#include "tests/support/control_flag.h"
#include "transport/cqv_comm.h"

class FakeView : public ServoMainView {
  public:
    struct Message {
        std::string text, caption;
        MessageIcon icon;
    };

    std::string caption;
    std::vector<std::string> tabs;
    int selected_tab = -1;
    int shown_page = -1;
    std::map<int, std::string> texts;
    std::map<int, ControlFlag> enabled;
    std::map<int, bool> checked;
    std::map<int, int> limits;
    std::map<int, std::vector<std::string>> combos;
    std::map<int, int> combo_selection;
    std::vector<std::string> columns;
    std::vector<int> widths;
    std::vector<std::vector<std::string>> rows;
    int mark = -1;
    bool mark_selected = false;
    int progress_done = 0, progress_total = 0;
    std::vector<Message> messages;

    void SetCaption(const std::string& text) override { caption = text; }
    void InsertTab(int index, const std::string& text) override {
        tabs.insert(tabs.begin() + index, text);
    }
    void SelectTab(int index) override { selected_tab = index; }
    void ShowPage(int, int show) override { shown_page = show; }
    void SetText(int control, const std::string& text) override { texts[control] = text; }
    std::string Text(int control) const override {
        auto c = combos.find(control);
        if (c != combos.end()) {
            auto s = combo_selection.find(control);
            const int at = s == combo_selection.end() ? -1 : s->second;
            return at >= 0 && at < static_cast<int>(c->second.size()) ? c->second[at] : "";
        }
        auto t = texts.find(control);
        return t == texts.end() ? "" : t->second;
    }
    void Enable(int control, bool on) override { enabled[control] = on; }
    void SetTextLimit(int control, int n) override { limits[control] = n; }
    void ClearCombo(int control) override {
        combos[control].clear();
        combo_selection[control] = -1;
    }
    void InsertComboItem(int control, int position, const std::string& text) override {
        auto& items = combos[control];
        items.insert(items.begin() + position, text);
    }
    void SelectComboItem(int control, int position) override {
        const int n = static_cast<int>(combos[control].size());
        combo_selection[control] = position >= 0 && position < n ? position : -1;
    }
    int ComboSelection(int control) const override {
        auto s = combo_selection.find(control);
        return s == combo_selection.end() ? -1 : s->second;
    }
    void SetListColumns(const std::vector<std::string>& titles,
                        const std::vector<int>& w) override {
        columns = titles;
        widths = w;
    }
    void ClearList() override { rows.clear(); }
    void AppendRow(const std::string& id, const std::string& name) override {
        rows.push_back({id, name});
    }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    std::string CellText(int row, int column) const override { return rows.at(row).at(column); }
    void SetCellText(int row, int column, const std::string& text) override {
        std::vector<std::string>& cells = rows.at(row);
        if (column >= static_cast<int>(cells.size()) && column < static_cast<int>(columns.size()))
            cells.resize(static_cast<size_t>(column) + 1);
        cells.at(column) = text;
    }
    bool IsChecked(int control) const override {
        const auto it = checked.find(control);
        return it != checked.end() && it->second;
    }
    int SelectionMark() const override { return mark; }
    bool IsRowSelected(int row) const override { return row == mark && mark_selected; }
    void SetProgress(int done, int total) override {
        progress_done = done;
        progress_total = total;
    }
    void ShowMessage(const std::string& text, const std::string& cap, MessageIcon icon) override {
        messages.push_back({text, cap, icon});
    }
};

// One log shared by the four fake pages, in call order.
class PageLog {
  public:
    void Add(const std::string& call) {
        std::lock_guard<std::mutex> g(m_);
        calls_.push_back(call);
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> g(m_);
        return std::exchange(calls_, {});
    }

  private:
    std::mutex m_;
    std::vector<std::string> calls_;
};

// "index count kind" of a selection in the list handed to a page.
inline std::string Listed(std::span<const FoundServo> found, int index) {
    const int kind = index >= 0 && index < static_cast<int>(found.size()) ? found[index].kind : -1;
    return std::to_string(index) + " " + std::to_string(found.size()) + " " + std::to_string(kind);
}

struct FakeDebugPage : DebugPage {
    explicit FakeDebugPage(PageLog& l) : log(l) {}
    void SelectServo(int id, std::span<const FoundServo> found, int index) override {
        log.Add("debug.SelectServo " + std::to_string(id) + " " + Listed(found, index));
        last_found = found;
    }
    void StartPolling() override { log.Add("debug.StartPolling"); }
    void StopPolling() override { log.Add("debug.StopPolling"); }
    PageLog& log;
    std::span<const FoundServo> last_found;
};

struct FakeProgrammingPage : ProgrammingPage {
    explicit FakeProgrammingPage(PageLog& l) : log(l) {}
    void SelectServo(int id, const ServoInfo& r, ServoKind kind) override {
        log.Add("pg.SelectServo " + std::to_string(id) + " " + std::to_string(r[0]) + "." +
                std::to_string(r[1]) + " " + std::to_string(kind));
    }
    void StartRefresh() override { log.Add("pg.StartRefresh"); }
    void StopRefresh() override { log.Add("pg.StopRefresh"); }
    void StartRefreshTimer() override { log.Add("pg.StartRefreshTimer"); }
    void StopRefreshTimer() override { log.Add("pg.StopRefreshTimer"); }
    void SetTorqueByte(int v) override { log.Add("pg.SetTorqueByte " + std::to_string(v)); }
    PageLog& log;
};

struct FakeUpgradePage : UpgradePage {
    explicit FakeUpgradePage(PageLog& l) : log(l) {}
    void SetServo(int id, std::span<const FoundServo> found, int index,
                  const std::string& name) override {
        log.Add("upgrade.SetServo " + std::to_string(id) + " " + Listed(found, index) + " " + name);
    }
    void StopTest() override { log.Add("upgrade.StopTest"); }
    PageLog& log;
};

struct FakePwmPage : PwmPage {
    explicit FakePwmPage(PageLog& l) : log(l) {}
    void SelectServo(int id) override { log.Add("pwm.SelectServo " + std::to_string(id)); }
    void Activate() override { log.Add("pwm.Activate"); }
    void Deactivate() override { log.Add("pwm.Deactivate"); }
    void StopAuto() override { log.Add("pwm.StopAuto"); }
    PageLog& log;
};

// What a main-window test wires CServoMain to besides the bus: the view, the dispatcher and
// four logging pages. Fixtures inherit it to get these members by their usual names.
struct FakeWindow {
    FakeView view;
    QueuedDispatcher ui;
    PageLog log;
    FakeDebugPage debug{log};
    FakeProgrammingPage pg{log};
    FakeUpgradePage upgrade{log};
    FakePwmPage pwm{log};
};
