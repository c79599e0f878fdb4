#pragma once
// The bus monitor panel: a table of the transfers on the line with pause, clear, an id
// filter and "Save". Refreshes from the log ten times a second while it is shown.
#include <QAbstractTableModel>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "app/bus_monitor.h"
#include "app/bus_monitor_view.h"

class QLineEdit;
class QPushButton;
class QTableView;

class BusMonitorModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    BusMonitorModel(const BusMonitor& monitor, bool chinese, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void Changed(size_t removed, size_t added, bool reset);

  private:
    const BusMonitor& monitor_;
    bool chinese_;
    int count_ = 0;
};

class BusMonitorWidget : public QWidget, public BusMonitorView {
    Q_OBJECT
  public:
    BusMonitorWidget(const TransferLog& log, bool chinese, QWidget* parent = nullptr);

    BusMonitor& logic() { return *monitor_; }
    QTableView* table() const { return table_; }
    // Replaces the file dialog and the message box (tests).
    void SetSaveFileHook(std::function<std::string()> hook) { save_hook_ = std::move(hook); }

    // BusMonitorView
    void RowsChanged(size_t removed, size_t added, bool reset) override;
    std::string AskSaveFile(const std::string& suggested) override;
    void ShowError(const std::string& text, const std::string& caption) override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    bool chinese_;
    std::unique_ptr<BusMonitor> monitor_;
    BusMonitorModel* model_;
    QTableView* table_;
    QLineEdit* filter_;
    QTimer refresh_;
    std::function<std::string()> save_hook_;
};
