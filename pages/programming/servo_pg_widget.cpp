#include "pages/programming/servo_pg_widget.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include "pages/programming/pg_table_model_widget.h"
#include "pages/programming/servo_pg.h"

namespace {

// "Name (*.ext)|*.ext||" to Qt's "Name (*.ext)".
QString QtFilter(const std::string& filter) {
    const size_t bar = filter.find('|');
    return Q(bar == std::string::npos ? filter : filter.substr(0, bar));
}

}  // namespace

CServoPGWidget::CServoPGWidget(CServoPG& page, QWidget* parent) : QWidget(parent), page_(&page) {
    Build(page.Texts().chinese);
    page_->InitDialog(this);
}

CServoPGWidget::~CServoPGWidget() {
    if (!page_) return;
    page_->StopRefreshTimer();
    page_->AttachView(nullptr);
}

void CServoPGWidget::PageDestroyed() { page_ = nullptr; }

void CServoPGWidget::Build(bool zh) {
    model_ = new PgTableModel(this);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setShowGrid(true);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(20);
    table_->horizontalHeader()->setHighlightSections(false);
    table_->installEventFilter(this);
    controls_.Add(kTableList, table_);

    auto* name = new QLabel(this);
    auto* edit = new QLineEdit(this);
    auto* set = new QPushButton(this);
    auto* status = new QPlainTextEdit(this);
    status->setReadOnly(true);
    status->setMaximumHeight(90);
    controls_.Add(kNameStatic, name);
    controls_.Add(kValueEdit, edit);
    controls_.Add(kValueButton, set);
    controls_.Add(kStatusBox, status);

    struct Button {
        int id;
        const char* en;
        const char* cn;
    };
    const Button buttons[] = {{kSaveButton, "Save", "保存"},
                              {kLoadButton, "Load", "载入"},
                              {kRecoveryButton, "Recovery", "恢复"},
                              {kOnlineButton, "Online", "在线载入"},
                              {kBackupButton, "Backup", "备份"}};
    auto* side = new QVBoxLayout;
    side->addWidget(name);
    side->addWidget(edit);
    side->addWidget(set);
    side->addSpacing(12);
    side->addWidget(status);
    side->addSpacing(12);
    for (const Button& b : buttons) {
        auto* button = new QPushButton(Tr(zh, b.en, b.cn), this);
        controls_.Add(b.id, button);
        side->addWidget(button);
    }
    side->addStretch(1);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(table_, 1);
    layout->addLayout(side);

    connect(table_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (page_) page_->OnRowClicked(index.row());
    });
    connect(set, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnValueButton();
    });
    auto wire = [this](int id, bool (CServoPG::*handler)()) {
        connect(static_cast<QPushButton*>(controls_.Find(id)), &QPushButton::clicked, this,
                [this, handler] {
                    if (page_) (page_->*handler)();
                });
    };
    wire(kSaveButton, &CServoPG::OnSave);
    wire(kLoadButton, &CServoPG::OnLoad);
    wire(kRecoveryButton, &CServoPG::OnRecovery);
    wire(kOnlineButton, &CServoPG::OnOnline);
    wire(kBackupButton, &CServoPG::OnBackup);

    auto* hidden = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    hidden->setContext(Qt::WidgetWithChildrenShortcut);
    connect(hidden, &QShortcut::activated, this, [this] {
        if (page_) page_->OnCtrlD();
    });
}

bool CServoPGWidget::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_ && event->type() == QEvent::KeyRelease && page_) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) page_->OnArrowReleased();
    }
    return QWidget::eventFilter(watched, event);
}

QWidget* CServoPGWidget::Control(int id) const { return controls_.Find(id); }

void CServoPGWidget::SetText(int control, const std::string& text) {
    if (controls_.SetText(control, text)) return;
    if (auto* p = qobject_cast<QPlainTextEdit*>(Control(control))) {
        QString t = Q(text);
        t.replace("\r\n", "\n");
        if (t.endsWith('\n')) t.chop(1);
        if (p->toPlainText() != t) p->setPlainText(t);
    }
}

std::string CServoPGWidget::Text(int control) const {
    if (auto* p = qobject_cast<QPlainTextEdit*>(Control(control)))
        return p->toPlainText().toStdString();
    return controls_.Text(control);
}

void CServoPGWidget::Enable(int control, bool enabled) { controls_.Enable(control, enabled); }

void CServoPGWidget::Show(int control, bool visible) { controls_.Show(control, visible); }

void CServoPGWidget::SetColumns(const std::array<std::string, 5>& titles,
                                const std::array<int, 5>& widths) {
    model_->SetTitles(titles);
    for (int c = 0; c < 5; ++c) table_->setColumnWidth(c, widths[c]);
    // The name column takes what the page has beyond the others, so every column stays in
    // view at the window's default size.
    table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    table_->horizontalHeader()->setMinimumSectionSize(40);
}

void CServoPGWidget::SetRows(const std::vector<PgRow>& rows) { model_->SetRows(rows); }

void CServoPGWidget::SetValues(const std::vector<std::pair<int, std::string>>& changed) {
    model_->SetValues(changed);
}

int CServoPGWidget::RowCount() const { return model_->rowCount(); }

std::string CServoPGWidget::CellText(int row, int column) const {
    return model_->Cell(row, column);
}

int CServoPGWidget::SelectionMark() const {
    const QModelIndex current = table_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool CServoPGWidget::IsRowSelected(int row) const {
    return row >= 0 && table_->selectionModel()->isRowSelected(row, QModelIndex());
}

void CServoPGWidget::ShowMessage(const std::string& caption, const std::string& text, PgIcon icon) {
    QMessageBox box(icon == PgIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
                    Q(caption), Q(text), QMessageBox::Ok, this);
    box.exec();
}

std::string CServoPGWidget::AskPath(bool save, const std::string& filter, const std::string& ext) {
    QFileDialog dialog(this);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QtFilter(filter));
    dialog.setDefaultSuffix(Q(ext));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front().toStdString();
}

std::string CServoPGWidget::AskSavePath(const std::string& filter, const std::string& ext) {
    return AskPath(true, filter, ext);
}

std::string CServoPGWidget::AskOpenPath(const std::string& filter, const std::string& ext) {
    return AskPath(false, filter, ext);
}

void CServoPGWidget::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
