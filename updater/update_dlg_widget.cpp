#include "updater/update_dlg_widget.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "updater/update_dlg.h"

CUpdateDlgWidget::CUpdateDlgWidget(SettingsStore& settings, const std::string& folder, bool chinese,
                                   const UpdateServerAccess& server, QWidget* parent)
    : QDialog(parent) {
    logic_ = std::make_unique<CUpdateDlg>(*this, settings, folder, chinese, server);
    setWindowTitle(QString::fromStdString(logic_->Texts().caption));
    setWindowIcon(QIcon(":/vexa.png"));
    log_ = new QPlainTextEdit(this);
    log_->setReadOnly(true);
    log_->setObjectName("1321");
    button_ = new QPushButton(QString::fromStdString(logic_->Texts().download), this);
    button_->setObjectName("1266");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(button_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    layout->addLayout(buttons);
    // 251 by 74 dialog units.
    resize(380, 150);
    connect(button_, &QPushButton::clicked, this, [this] { logic_->OnDownload(); });
    logic_->OnInitDialog();
}

void CUpdateDlgWidget::OnOwnThread(std::function<void()> fn) {
    if (QThread::currentThread() == thread()) {
        fn();
    } else {
        QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
    }
}

CUpdateDlgWidget::~CUpdateDlgWidget() {
    // The worker is stopped before anything it could post to goes away.
    logic_->Shutdown();
}

void CUpdateDlgWidget::SetLog(const std::string& text) {
    const QString t = QString::fromStdString(text).replace("\r\n", "\n");
    OnOwnThread([this, t] { log_->setPlainText(t); });
}

void CUpdateDlgWidget::EnableDownload(bool enabled) {
    OnOwnThread([this, enabled] { button_->setEnabled(enabled); });
}

void CUpdateDlgWidget::ShowMessage(const std::string& text, UpdateIcon icon) {
    const QString t = QString::fromStdString(text);
    OnOwnThread([this, t, icon] {
        auto* box = new QMessageBox(
            icon == UpdateIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
            windowTitle(), t, QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    });
}
