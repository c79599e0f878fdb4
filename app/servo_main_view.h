#pragma once
// What the main window's logic (CServoMain) needs from the screen. Controls are named by
// the ids of dialog 130; the Qt widget implements this, tests record it with a fake.
// Every call is made on the user-interface thread.
#include <string>
#include <vector>

enum MainControl : int {
    kTabControl = 1010,
    kServoList = 1172,
    kBaudCombo = 1173,
    kPortCombo = 1174,
    kOpenButton = 1175,
    kSearchButton = 1176,
    kParityCombo = 1177,
    kStatusLine = 1178,
    kTimeoutEdit = 1298,
    kAllRatesCheck = 1310,  // beside "Search": the next search probes every baud rate
};

enum class MessageIcon { kError, kWarning };

class ServoMainView {
  public:
    virtual ~ServoMainView() = default;

    virtual void SetCaption(const std::string& text) = 0;
    virtual void InsertTab(int index, const std::string& text) = 0;
    virtual void SelectTab(int index) = 0;
    // Hides one page and shows another (or only shows when hide is -1).
    virtual void ShowPage(int hide, int show) = 0;

    // Texts of buttons, edits and the status line; for a combo, the selected entry's text.
    virtual void SetText(int control, const std::string& text) = 0;
    virtual std::string Text(int control) const = 0;
    virtual void Enable(int control, bool enabled) = 0;
    // Check boxes.
    virtual bool IsChecked(int control) const = 0;
    virtual void SetTextLimit(int control, int characters) = 0;

    // Combo boxes (drop lists).
    virtual void ClearCombo(int control) = 0;
    virtual void InsertComboItem(int control, int position, const std::string& text) = 0;
    virtual void SelectComboItem(int control, int position) = 0;
    virtual int ComboSelection(int control) const = 0;

    // The servo list: two columns, whole rows.
    virtual void SetListColumns(const std::vector<std::string>& titles,
                                const std::vector<int>& widths) = 0;
    virtual void ClearList() = 0;
    virtual void AppendRow(const std::string& id, const std::string& name) = 0;
    virtual int RowCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const std::string& text) = 0;
    // The row with the selection mark (keyboard focus), or -1; and whether it is selected.
    virtual int SelectionMark() const = 0;
    virtual bool IsRowSelected(int row) const = 0;

    // Search progress: ids probed so far of total; total 0 hides the indicator.
    virtual void SetProgress(int done, int total) = 0;

    // A modal message box owned by the main window.
    virtual void ShowMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
};
