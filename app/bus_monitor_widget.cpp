#include "app/bus_monitor_widget.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

#include "pages/control_map_widget.h"

namespace {
constexpr int kRefreshMs = 100;  // at most ten refreshes a second
}  // namespace

BusMonitorModel::BusMonitorModel(const BusMonitor& monitor, bool chinese, QObject* parent)
    : QAbstractTableModel(parent), monitor_(monitor), chinese_(chinese) {}

int BusMonitorModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int BusMonitorModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant BusMonitorModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count_ ||
        static_cast<size_t>(index.row()) >= monitor_.shown().size())
        return {};
    const MonitorRow& row = monitor_.shown()[static_cast<size_t>(index.row())];
    switch (index.column()) {
        case 0:
            return Q(row.TimeText());
        case 1:
            return row.sent ? QStringLiteral("TX") : QStringLiteral("RX");
        case 2:
            return Q(row.BytesText());
        default:
            return Q(row.decoded.text);
    }
}

QVariant BusMonitorModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
    switch (section) {
        case 0:
            return Tr(chinese_, "Time (s)", "时间(秒)");
        case 1:
            return Tr(chinese_, "Dir", "方向");
        case 2:
            return Tr(chinese_, "Bytes", "字节");
        default:
            return Tr(chinese_, "Decoded", "解析");
    }
}

void BusMonitorModel::Changed(size_t removed, size_t added, bool reset) {
    const int now = static_cast<int>(monitor_.shown().size());
    if (reset || removed > 0) {
        // The shown rows have already moved up; a rolling list is re-read whole.
        beginResetModel();
        count_ = now;
        endResetModel();
        return;
    }
    if (added == 0 || now <= count_) return;
    beginInsertRows({}, count_, now - 1);
    count_ = now;
    endInsertRows();
}

BusMonitorWidget::BusMonitorWidget(const TransferLog& log, bool chinese, QWidget* parent)
    : QWidget(parent), chinese_(chinese) {
    monitor_ = std::make_unique<BusMonitor>(log, *this, chinese);
    model_ = new BusMonitorModel(*monitor_, chinese, this);

    auto* title = new QLabel(Tr(chinese, "Bus monitor", "总线监视"), this);
    auto* pause = new QPushButton(Tr(chinese, "Pause", "暂停"), this);
    pause->setCheckable(true);
    auto* clear = new QPushButton(Tr(chinese, "Clear", "清除"), this);
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(Tr(chinese, "all", "全部"));
    filter_->setMaxLength(3);
    filter_->setMaximumWidth(70);
    auto* save = new QPushButton(Tr(chinese, "Save", "保存"), this);
    auto* bar = new QHBoxLayout;
    bar->addWidget(title);
    bar->addStretch(1);
    bar->addWidget(new QLabel(Tr(chinese, "ID", "ID"), this));
    bar->addWidget(filter_);
    bar->addWidget(pause);
    bar->addWidget(clear);
    bar->addWidget(save);

    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    table_->setWordWrap(false);
    table_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QHeaderView* header = table_->horizontalHeader();
    const QFontMetrics mono(table_->font());
    header->resizeSection(0, mono.horizontalAdvance(QStringLiteral("0000.000000")) + 12);
    header->resizeSection(1, mono.horizontalAdvance(QStringLiteral("TX")) + 24);
    header->resizeSection(2, mono.horizontalAdvance(QString(3 * 24, QLatin1Char('F'))));
    header->setStretchLastSection(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(table_, 1);

    connect(pause, &QPushButton::toggled, this, [this](bool on) { monitor_->SetPaused(on); });
    connect(clear, &QPushButton::clicked, this, [this] { monitor_->Clear(); });
    connect(save, &QPushButton::clicked, this, [this] { monitor_->Save(); });
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        const bool ok = monitor_->SetFilter(text.trimmed().toStdString());
        filter_->setStyleSheet(ok ? QString() : QStringLiteral("color: red"));
    });
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, [this] { monitor_->Refresh(); });
}

void BusMonitorWidget::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    monitor_->Refresh();
    refresh_.start();
}

void BusMonitorWidget::hideEvent(QHideEvent* event) {
    // Hidden, the panel costs nothing; the log keeps the newest transfers meanwhile.
    refresh_.stop();
    QWidget::hideEvent(event);
}

void BusMonitorWidget::RowsChanged(size_t removed, size_t added, bool reset) {
    QScrollBar* bar = table_->verticalScrollBar();
    const bool at_end = bar->value() >= bar->maximum();
    model_->Changed(removed, added, reset);
    if (at_end) table_->scrollToBottom();  // follow the newest rows unless the user scrolled up
}

std::string BusMonitorWidget::AskSaveFile(const std::string& suggested) {
    if (save_hook_) return save_hook_();
    return QFileDialog::getSaveFileName(this, Tr(chinese_, "Save", "保存"), Q(suggested),
                                        Tr(chinese_, "Trace (*.txt)", "记录 (*.txt)"))
        .toStdString();
}

void BusMonitorWidget::ShowError(const std::string& text, const std::string& caption) {
    QMessageBox::critical(this, Q(caption), Q(text));
}
