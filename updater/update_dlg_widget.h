#pragma once
// VexaUpdate's dialog on screen: the log edit and the "Download" button. The download's
// worker thread reaches it only by queued calls, which Qt drops once the dialog is gone.
#include <QDialog>
#include <functional>
#include <memory>

#include "updater/update_view.h"

class CUpdateDlg;
class QPlainTextEdit;
class QPushButton;
class SettingsStore;
struct UpdateServerAccess;

class CUpdateDlgWidget : public QDialog, public UpdateView {
    Q_OBJECT
  public:
    CUpdateDlgWidget(SettingsStore& settings, const std::string& folder, bool chinese,
                     const UpdateServerAccess& server, QWidget* parent = nullptr);
    ~CUpdateDlgWidget() override;

    QPlainTextEdit* Log() const { return log_; }
    QPushButton* DownloadButton() const { return button_; }

    // UpdateView, from the worker thread.
    void SetLog(const std::string& text) override;
    void EnableDownload(bool enabled) override;
    void ShowMessage(const std::string& text, UpdateIcon icon) override;

  private:
    // Runs fn on the dialog's thread: at once when called there, else by a queued call.
    void OnOwnThread(std::function<void()> fn);

    QPlainTextEdit* log_;
    QPushButton* button_;
    std::unique_ptr<CUpdateDlg> logic_;
};
