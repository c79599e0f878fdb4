#include "pages/upgrade/servo_test_widget.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QVBoxLayout>

#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/text_progress_ctrl_widget.h"

namespace {
// "label (*.bin)|*.bin|...||" as the file dialog's name filters.
QStringList NameFilters(const std::string& filter) {
    QStringList out;
    const QStringList parts = QString::fromStdString(filter).split('|');
    for (int k = 0; k + 1 < parts.size(); k += 2) {
        if (parts[k].isEmpty()) break;
        out << parts[k];
    }
    return out;
}
}  // namespace

CServoTestWidget::CServoTestWidget(CServoTest& page, bool chinese, QWidget* parent)
    : QWidget(parent), page_(&page) {
    Build(chinese);
    page.InitDialog(this);
}

CServoTestWidget::~CServoTestWidget() {
    if (page_) page_->AttachView(nullptr);
}

QWidget* CServoTestWidget::Control(int id) const { return controls_.Find(id); }

void CServoTestWidget::Build(bool chinese) {
    auto* layout = new QVBoxLayout(this);

    auto* test_group = new QGroupBox(Tr(chinese, "Communication test", "通信测试"), this);
    auto* tg = new QGridLayout(test_group);
    auto* results = new QPlainTextEdit(test_group);
    results->setReadOnly(true);
    results->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    results->setMinimumHeight(120);
    auto* test = new QPushButton(Tr(chinese, "Test", "测试"), test_group);
    auto* clear = new QPushButton(Tr(chinese, "Clear", "清除"), test_group);
    tg->addWidget(results, 0, 0, 3, 1);
    tg->addWidget(test, 0, 1);
    tg->addWidget(clear, 1, 1);
    tg->setColumnStretch(0, 1);
    layout->addWidget(test_group, 1);

    auto* fw_group = new QGroupBox(Tr(chinese, "Firmware update", "固件更新"), this);
    auto* fg = new QGridLayout(fw_group);
    auto* open = new QPushButton(Tr(chinese, "Open", "打开固件"), fw_group);
    auto* upgrade = new QPushButton(Tr(chinese, "Upgrade", "升级固件"), fw_group);
    auto* online = new QPushButton(Tr(chinese, "Online", "在线检测"), fw_group);
    progress_ = new CTextProgressCtrl(fw_group);
    progress_->setMinimumHeight(22);
    auto* log = new QPlainTextEdit(fw_group);
    log->setReadOnly(true);
    log->setMinimumHeight(90);
    fg->addWidget(progress_, 0, 0, 1, 3);
    fg->addWidget(open, 1, 0);
    fg->addWidget(upgrade, 1, 1);
    fg->addWidget(online, 1, 2);
    fg->addWidget(log, 2, 0, 1, 3);
    layout->addWidget(fw_group, 1);

    controls_.Add(kResultEdit, results);
    controls_.Add(kTestButton, test);
    controls_.Add(kClearButton, clear);
    controls_.Add(kOpenFirmwareButton, open);
    controls_.Add(kUpgradeButton, upgrade);
    controls_.Add(kOnlineFirmwareButton, online);
    controls_.Add(kProgressBar, progress_);
    controls_.Add(kFirmwareLogEdit, log);
    for (auto& [id, w] : controls_.all()) w->installEventFilter(this);
    setFocusPolicy(Qt::StrongFocus);

    connect(test, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnTest();
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnClear();
    });
    connect(open, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnOpen();
    });
    connect(upgrade, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnUpgrade();
    });
    connect(online, &QPushButton::clicked, this, [this] {
        if (page_) page_->OnOnline();
    });
}

bool CServoTestWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && page_) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_B || key == Qt::Key_M || key == Qt::Key_R) {
            page_->OnKey(static_cast<char>(key));
            return false;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void CServoTestWidget::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (page_ && (key == Qt::Key_B || key == Qt::Key_M || key == Qt::Key_R))
        page_->OnKey(static_cast<char>(key));
    QWidget::keyPressEvent(event);
}

void CServoTestWidget::SetText(int control, const std::string& text) {
    QWidget* w = Control(control);
    if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
        edit->setPlainText(Q(text));
        edit->verticalScrollBar()->setValue(edit->verticalScrollBar()->maximum());
    } else if (control == kProgressBar) {
        progress_->SetWindowText(text);
    } else {
        controls_.SetText(control, text);
    }
}

void CServoTestWidget::Enable(int control, bool enabled) { controls_.Enable(control, enabled); }

void CServoTestWidget::SetProgressRange(int lower, int upper) { progress_->SetRange(lower, upper); }
void CServoTestWidget::SetProgressStep(int step) { progress_->SetStep(step); }
void CServoTestWidget::SetProgressPos(int position) { progress_->SetPos(position); }

bool CServoTestWidget::AskOpenFile(const std::string& filter, const std::string& default_extension,
                                   std::string& path) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(NameFilters(filter));
    dialog.setDefaultSuffix(Q(default_extension));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first().toStdString();
    return true;
}

void CServoTestWidget::ShowMessage(const std::string& caption, const std::string& text,
                                   bool error) {
    // Not modal to the page's workers: their posted results keep arriving.
    auto* box = new QMessageBox(error ? QMessageBox::Critical : QMessageBox::Warning, Q(caption),
                                Q(text), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
