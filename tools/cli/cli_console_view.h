#pragma once
// The Programming page on a console: the list and the controls are kept in memory, a
// message box prints its text alone on one line (exclamation boxes on standard output,
// error boxes on standard error), and the file dialogs answer with the path given on the
// command line.
#include <iosfwd>
#include <map>
#include <string>

#include "pages/programming/servo_pg_view.h"

class ConsolePgView : public ServoPGView {
  public:
    ConsolePgView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    void SetText(int control, const std::string& text) override { text_[control] = text; }
    std::string Text(int control) const override;
    void Enable(int control, bool enabled) override { enabled_[control] = enabled; }
    void Show(int, bool) override {}
    void SetColumns(const std::array<std::string, 5>&, const std::array<int, 5>&) override {}
    void SetRows(const std::vector<PgRow>& rows) override { rows_ = rows; }
    void SetValues(const std::vector<std::pair<int, std::string>>& changed) override;
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    std::string CellText(int row, int column) const override;
    int SelectionMark() const override { return mark_; }
    bool IsRowSelected(int row) const override { return row == mark_; }
    void ShowMessage(const std::string& caption, const std::string& text, PgIcon icon) override;
    std::string AskSavePath(const std::string&, const std::string&) override { return path_; }
    std::string AskOpenPath(const std::string&, const std::string&) override { return path_; }
    void SetBusy(bool) override {}

    void SetPath(const std::string& path) { path_ = path; }
    void Mark(int row) { mark_ = row; }
    bool IsEnabled(int control) const;
    const std::vector<PgRow>& rows() const { return rows_; }

  private:
    std::ostream& out_;
    std::ostream& err_;
    std::map<int, std::string> text_;
    std::map<int, bool> enabled_;
    std::vector<PgRow> rows_;
    int mark_ = -1;
    std::string path_;
};
