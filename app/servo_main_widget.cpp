#include "app/servo_main_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/servo_main.h"
#include "pages/control_map_widget.h"
#include "platform/string_table.h"

namespace {
std::string S(const QString& text) { return text.toStdString(); }

// Labels of dialog 130, held in the string tables under ids of their own.
enum LabelId : int {
    kLabelComSettings = 13001,
    kLabelServoList = 13002,
    kLabelPort = 13003,
    kLabelBaud = 13004,
    kLabelParity = 13005,
    kLabelTimeout = 13006,
};
}  // namespace

void DropDownCombo::showPopup() {
    emit aboutToDropDown();
    QComboBox::showPopup();
}

ServoMainWidget::ServoMainWidget(const StringTable& strings, QWidget* parent) : QWidget(parent) {
    auto label = [&](int id) { return Q(strings.Get(id)); };

    port_ = new DropDownCombo(this);
    baud_ = new QComboBox(this);
    parity_ = new QComboBox(this);
    timeout_ = new QLineEdit(this);
    timeout_->setValidator(new QIntValidator(0, 999, timeout_));
    open_ = new QPushButton(this);
    search_ = new QPushButton(this);
    all_rates_ = new QCheckBox(this);
    port_->setMinimumContentsLength(12);
    port_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

    auto* settings = new QGroupBox(label(kLabelComSettings), this);
    auto* form = new QFormLayout;
    form->addRow(label(kLabelPort), port_);
    form->addRow(label(kLabelBaud), baud_);
    form->addRow(label(kLabelParity), parity_);
    form->addRow(label(kLabelTimeout), timeout_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(open_);
    buttons->addWidget(search_);
    form->addRow(buttons);
    form->addRow(all_rates_);
    settings->setLayout(form);

    list_ = new QTableWidget(this);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->horizontalHeader()->setStretchLastSection(true);
    status_ = new QLineEdit(this);
    status_->setReadOnly(true);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setMaximumHeight(8);
    progress_->hide();

    auto* servos = new QGroupBox(label(kLabelServoList), this);
    auto* servo_layout = new QVBoxLayout;
    servo_layout->addWidget(list_, 1);
    servo_layout->addWidget(status_);
    servo_layout->addWidget(progress_);
    servos->setLayout(servo_layout);

    auto* left = new QVBoxLayout;
    left->addWidget(settings);
    left->addWidget(servos, 1);
    auto* left_box = new QWidget(this);
    left_box->setLayout(left);
    left_box->setFixedWidth(230);
    left->setContentsMargins(0, 0, 0, 0);

    tabs_ = new QTabWidget(this);
    right_ = new QSplitter(Qt::Vertical, this);
    right_->setChildrenCollapsible(false);
    right_->addWidget(tabs_);
    auto* main = new QHBoxLayout(this);
    main->addWidget(left_box);
    main->addWidget(right_, 1);

    connect(open_, &QPushButton::clicked, this, [this] {
        if (logic_) logic_->OnOpenClicked();
    });
    connect(search_, &QPushButton::clicked, this, [this] {
        if (logic_) logic_->OnSearchClicked();
    });
    connect(port_, &DropDownCombo::aboutToDropDown, this, [this] {
        if (logic_) logic_->OnPortDropDown();
    });
    connect(list_, &QTableWidget::cellClicked, this, [this](int row, int) {
        if (logic_) logic_->OnListClicked(row);
    });
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int index) {
        if (logic_ && index >= 0) logic_->OnTabChanged(index);
    });
    auto* ctrl_n = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_N), this);
    ctrl_n->setContext(Qt::WindowShortcut);
    connect(ctrl_n, &QShortcut::activated, this, [this] {
        if (logic_) logic_->OnCtrlN();
    });
    qApp->installEventFilter(this);
}

ServoMainWidget::~ServoMainWidget() { qApp->removeEventFilter(this); }

void ServoMainWidget::SetBottomPane(QWidget* pane, bool chinese) {
    right_->addWidget(pane);
    right_->setStretchFactor(0, 3);
    right_->setStretchFactor(1, 1);
    pane->hide();
    // Toggled from the tab bar's corner or with Ctrl+M; hidden, the pane costs nothing.
    pane_toggle_ = new QToolButton(this);
    pane_toggle_->setText(Tr(chinese, "Bus monitor", "总线监视"));
    pane_toggle_->setCheckable(true);
    pane_toggle_->setToolTip(QStringLiteral("Ctrl+M"));
    tabs_->setCornerWidget(pane_toggle_, Qt::TopRightCorner);
    connect(pane_toggle_, &QToolButton::toggled, this, [this, pane](bool on) {
        pane->setVisible(on);
        // Opened for the first time, the pane takes a third of the height.
        if (on && !pane_sized_) {
            pane_sized_ = true;
            const int total = right_->height();
            right_->setSizes({total - total / 3, total / 3});
        }
    });
    auto* shortcut = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_M), this);
    shortcut->setContext(Qt::WindowShortcut);
    connect(shortcut, &QShortcut::activated, pane_toggle_, &QToolButton::toggle);
}

void ServoMainWidget::SetPage(int index, QWidget* page) {
    if (index >= 0 && index < 4) pages_[index] = page;
}

bool ServoMainWidget::eventFilter(QObject* watched, QEvent* event) {
    // Arrow keys released anywhere in this window or its pages select the marked row. A key
    // event travels up the parent chain; only its first receiver, the focus widget, counts.
    if (event->type() == QEvent::KeyRelease && logic_) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* widget = qobject_cast<QWidget*>(watched);
        if ((key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) && !key->isAutoRepeat() &&
            widget != nullptr && widget == QApplication::focusWidget() &&
            (widget == this || isAncestorOf(widget))) {
            logic_->OnArrowKeyReleased();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void ServoMainWidget::closeEvent(QCloseEvent* event) {
    if (logic_) logic_->Shutdown();
    event->accept();
}

QComboBox* ServoMainWidget::Combo(int control) const {
    switch (control) {
        case kPortCombo:
            return port_;
        case kBaudCombo:
            return baud_;
        case kParityCombo:
            return parity_;
        default:
            return nullptr;
    }
}

QWidget* ServoMainWidget::Control(int control) const {
    switch (control) {
        case kOpenButton:
            return open_;
        case kSearchButton:
            return search_;
        case kAllRatesCheck:
            return all_rates_;
        case kStatusLine:
            return status_;
        case kTimeoutEdit:
            return timeout_;
        case kServoList:
            return list_;
        case kTabControl:
            return tabs_;
        default:
            return Combo(control);
    }
}

void ServoMainWidget::SetCaption(const std::string& text) { setWindowTitle(Q(text)); }

void ServoMainWidget::InsertTab(int index, const std::string& text) {
    QWidget* page = index >= 0 && index < 4 ? pages_[index] : nullptr;
    if (page == nullptr) {
        page = new QWidget;
        if (index >= 0 && index < 4) pages_[index] = page;
    }
    const QSignalBlocker block(tabs_);
    tabs_->insertTab(index, page, Q(text));
}

void ServoMainWidget::SelectTab(int index) {
    const QSignalBlocker block(tabs_);
    tabs_->setCurrentIndex(index);
}

void ServoMainWidget::ShowPage(int, int show) {
    // The tab widget shows the current tab's page and hides the others.
    if (tabs_->currentIndex() != show) SelectTab(show);
}

void ServoMainWidget::SetText(int control, const std::string& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(control)))
        button->setText(Q(text));
    else if (auto* edit = qobject_cast<QLineEdit*>(Control(control))) {
        edit->setText(Q(text));
        if (edit == status_) {
            // A status text longer than the narrow line shows its start; the whole of it
            // is in the tool tip.
            edit->setCursorPosition(0);
            edit->setToolTip(Q(text));
        }
    }
}

std::string ServoMainWidget::Text(int control) const {
    if (QComboBox* combo = Combo(control)) return S(combo->currentText());
    if (auto* button = qobject_cast<QAbstractButton*>(Control(control))) return S(button->text());
    if (auto* edit = qobject_cast<QLineEdit*>(Control(control))) return S(edit->text());
    return {};
}

void ServoMainWidget::Enable(int control, bool enabled) {
    if (QWidget* w = Control(control)) w->setEnabled(enabled);
}

bool ServoMainWidget::IsChecked(int control) const {
    auto* box = qobject_cast<QCheckBox*>(Control(control));
    return box != nullptr && box->isChecked();
}

void ServoMainWidget::SetTextLimit(int control, int characters) {
    if (auto* edit = qobject_cast<QLineEdit*>(Control(control))) edit->setMaxLength(characters);
}

void ServoMainWidget::ClearCombo(int control) {
    if (QComboBox* combo = Combo(control)) combo->clear();
}

void ServoMainWidget::InsertComboItem(int control, int position, const std::string& text) {
    if (QComboBox* combo = Combo(control)) combo->insertItem(position, Q(text));
}

void ServoMainWidget::SelectComboItem(int control, int position) {
    if (QComboBox* combo = Combo(control))
        combo->setCurrentIndex(position >= 0 && position < combo->count() ? position : -1);
}

int ServoMainWidget::ComboSelection(int control) const {
    QComboBox* combo = Combo(control);
    return combo ? combo->currentIndex() : -1;
}

void ServoMainWidget::SetListColumns(const std::vector<std::string>& titles,
                                     const std::vector<int>& widths) {
    list_->setColumnCount(static_cast<int>(titles.size()));
    QStringList labels;
    for (const auto& t : titles) labels << Q(t);
    list_->setHorizontalHeaderLabels(labels);
    for (size_t i = 0; i < widths.size() && i < titles.size(); ++i)
        list_->setColumnWidth(static_cast<int>(i), widths[i]);
}

void ServoMainWidget::ClearList() { list_->setRowCount(0); }

void ServoMainWidget::AppendRow(const std::string& id, const std::string& name) {
    const int row = list_->rowCount();
    list_->insertRow(row);
    list_->setItem(row, 0, new QTableWidgetItem(Q(id)));
    list_->setItem(row, 1, new QTableWidgetItem(Q(name)));
}

int ServoMainWidget::RowCount() const { return list_->rowCount(); }

std::string ServoMainWidget::CellText(int row, int column) const {
    const QTableWidgetItem* item = list_->item(row, column);
    return item ? S(item->text()) : std::string();
}

void ServoMainWidget::SetCellText(int row, int column, const std::string& text) {
    if (row < 0 || row >= list_->rowCount() || column < 0 || column >= list_->columnCount()) return;
    if (QTableWidgetItem* item = list_->item(row, column))
        item->setText(Q(text));
    else
        list_->setItem(row, column, new QTableWidgetItem(Q(text)));
}

int ServoMainWidget::SelectionMark() const { return list_->currentRow(); }

bool ServoMainWidget::IsRowSelected(int row) const {
    return list_->selectionModel() != nullptr &&
           list_->selectionModel()->isRowSelected(row, QModelIndex());
}

void ServoMainWidget::SetProgress(int done, int total) {
    if (total <= 0) {
        progress_->hide();
        return;
    }
    progress_->setRange(0, total);
    progress_->setValue(done);
    progress_->show();
}

void ServoMainWidget::ShowMessage(const std::string& text, const std::string& caption,
                                  MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
                    Q(caption), Q(text), QMessageBox::Ok, this);
    box.exec();
}
