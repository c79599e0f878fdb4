#pragma once
// What the Programming page's logic (CServoPG) needs from the screen. Controls are named by
// the ids of dialog 103; the Qt widget implements this, tests and vexa-cli implement it too.
// Every call is made on the user-interface thread.
#include <array>
#include <string>
#include <utility>
#include <vector>

enum ProgrammingControl : int {
    kStatusBox = 1031,
    kLoadButton = 1067,
    kRecoveryButton = 1068,
    kOnlineButton = 1069,
    kSaveButton = 1070,
    kBackupButton = 1073,
    kTableList = 1276,
    kValueEdit = 1277,
    kValueButton = 1278,
    kNameStatic = 1280,
};

enum class PgIcon { kExclamation, kError };

// One list row: address, name, value, area, access.
using PgRow = std::array<std::string, 5>;

class ServoPGView {
  public:
    virtual ~ServoPGView() = default;

    virtual void SetText(int control, const std::string& text) = 0;
    virtual std::string Text(int control) const = 0;
    virtual void Enable(int control, bool enabled) = 0;
    virtual void Show(int control, bool visible) = 0;

    // The table list (1276): five columns with their header texts and widths in pixels.
    virtual void SetColumns(const std::array<std::string, 5>& titles,
                            const std::array<int, 5>& widths) = 0;
    virtual void SetRows(const std::vector<PgRow>& rows) = 0;
    // Texts of the "Value" column that changed, by row.
    virtual void SetValues(const std::vector<std::pair<int, std::string>>& changed) = 0;
    virtual int RowCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    // The row holding the selection mark (-1 none) and whether it is selected.
    virtual int SelectionMark() const = 0;
    virtual bool IsRowSelected(int row) const = 0;

    virtual void ShowMessage(const std::string& caption, const std::string& text, PgIcon icon) = 0;
    // File dialogs: filter in "Name (*.ext)|*.ext||" form, the default extension without a
    // dot. The chosen path, or "" when cancelled.
    virtual std::string AskSavePath(const std::string& filter, const std::string& ext) = 0;
    virtual std::string AskOpenPath(const std::string& filter, const std::string& ext) = 0;
    // A wait cursor while the page blocks on the update server.
    virtual void SetBusy(bool busy) = 0;

    // The page is being destroyed (its refresh already stopped).
    virtual void PageDestroyed() {}
};
