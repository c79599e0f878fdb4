#pragma once
// The Programming page on screen: the memory table (a model/view table), the value editor,
// the status box and the parameter buttons of dialog 103 with their English or Chinese
// captions. Forwards user events to CServoPG and shows what it is told through ServoPGView.
#include <QWidget>

#include "pages/control_map_widget.h"
#include "pages/programming/servo_pg_view.h"

class CServoPG;
class PgTableModel;
class QTableView;

class CServoPGWidget : public QWidget, public ServoPGView {
    Q_OBJECT
  public:
    // Builds the controls and initialises the page.
    explicit CServoPGWidget(CServoPG& page, QWidget* parent = nullptr);
    ~CServoPGWidget() override;

    // The control with a dialog id (null for an unknown id); for tests.
    QWidget* Control(int id) const;
    QTableView* Table() const { return table_; }
    PgTableModel* Model() const { return model_; }

    // ServoPGView.
    void SetText(int control, const std::string& text) override;
    std::string Text(int control) const override;
    void Enable(int control, bool enabled) override;
    void Show(int control, bool visible) override;
    void SetColumns(const std::array<std::string, 5>& titles,
                    const std::array<int, 5>& widths) override;
    void SetRows(const std::vector<PgRow>& rows) override;
    void SetValues(const std::vector<std::pair<int, std::string>>& changed) override;
    int RowCount() const override;
    std::string CellText(int row, int column) const override;
    int SelectionMark() const override;
    bool IsRowSelected(int row) const override;
    void ShowMessage(const std::string& caption, const std::string& text, PgIcon icon) override;
    std::string AskSavePath(const std::string& filter, const std::string& ext) override;
    std::string AskOpenPath(const std::string& filter, const std::string& ext) override;
    void SetBusy(bool busy) override;
    void PageDestroyed() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Build(bool chinese);
    std::string AskPath(bool save, const std::string& filter, const std::string& ext);

    CServoPG* page_;  // null once the page is gone
    QTableView* table_ = nullptr;
    PgTableModel* model_ = nullptr;
    ControlMap controls_;
};
