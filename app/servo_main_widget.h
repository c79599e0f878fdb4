#pragma once
// The main window on screen: serial settings and the servo list on the left, the page tabs
// on the right. A thin view: it draws what CServoMain tells it and forwards the user's
// events to it.
#include <QComboBox>
#include <QWidget>
#include <array>

#include "app/servo_main_view.h"

class CServoMain;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;
class QTabWidget;
class QToolButton;
class QTableWidget;
class StringTable;

// A combo box that announces its drop-down before it opens, so the list can be refilled.
class DropDownCombo : public QComboBox {
    Q_OBJECT
  public:
    using QComboBox::QComboBox;
    void showPopup() override;
  signals:
    void aboutToDropDown();
};

class ServoMainWidget : public QWidget, public ServoMainView {
    Q_OBJECT
  public:
    explicit ServoMainWidget(const StringTable& strings, QWidget* parent = nullptr);
    ~ServoMainWidget() override;

    // The page widget shown under tab index (0 Debug, 1 Programming, 2 Upgrade, 3 PWM);
    // set before the logic's OnInitDialog inserts the tabs.
    void SetPage(int index, QWidget* page);
    // A pane under the tabs (the bus monitor), hidden until its corner button or Ctrl+M
    // shows it.
    void SetBottomPane(QWidget* pane, bool chinese);
    QToolButton* pane_toggle() const { return pane_toggle_; }
    // Connects the controls to the logic.
    void SetLogic(CServoMain* logic) { logic_ = logic; }

    // For tests: the controls.
    QPushButton* open_button() const { return open_; }
    QPushButton* search_button() const { return search_; }
    QCheckBox* all_rates_box() const { return all_rates_; }
    QComboBox* port_combo() const { return port_; }
    QTableWidget* servo_list() const { return list_; }
    QLineEdit* status_line() const { return status_; }
    QTabWidget* tabs() const { return tabs_; }

    // ServoMainView
    void SetCaption(const std::string& text) override;
    void InsertTab(int index, const std::string& text) override;
    void SelectTab(int index) override;
    void ShowPage(int hide, int show) override;
    void SetText(int control, const std::string& text) override;
    std::string Text(int control) const override;
    void Enable(int control, bool enabled) override;
    bool IsChecked(int control) const override;
    void SetTextLimit(int control, int characters) override;
    void ClearCombo(int control) override;
    void InsertComboItem(int control, int position, const std::string& text) override;
    void SelectComboItem(int control, int position) override;
    int ComboSelection(int control) const override;
    void SetListColumns(const std::vector<std::string>& titles,
                        const std::vector<int>& widths) override;
    void ClearList() override;
    void AppendRow(const std::string& id, const std::string& name) override;
    int RowCount() const override;
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    int SelectionMark() const override;
    bool IsRowSelected(int row) const override;
    void SetProgress(int done, int total) override;
    void ShowMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QComboBox* Combo(int control) const;
    QWidget* Control(int control) const;

    CServoMain* logic_ = nullptr;
    std::array<QWidget*, 4> pages_{};
    DropDownCombo* port_;
    QComboBox* baud_;
    QComboBox* parity_;
    QLineEdit* timeout_;
    QPushButton* open_;
    QPushButton* search_;
    QCheckBox* all_rates_;
    QTableWidget* list_;
    QLineEdit* status_;
    QProgressBar* progress_;
    QTabWidget* tabs_;
    QSplitter* right_;
    QToolButton* pane_toggle_ = nullptr;
    bool pane_sized_ = false;
};
