#include "updater/update_dlg.h"

CUpdateDlg::CUpdateDlg(UpdateView& view, SettingsStore& settings, std::string folder, bool chinese,
                       UpdateServerAccess server)
    : view_(view),
      settings_(settings),
      folder_(std::move(folder)),
      texts_(chinese),
      server_(std::move(server)) {}

CUpdateDlg::~CUpdateDlg() { Shutdown(); }

void CUpdateDlg::OnInitDialog() { view_.SetLog(texts_.instruction); }

bool CUpdateDlg::OnDownload() {
    if (running_.exchange(true)) return false;
    if (worker_.joinable()) worker_.join();  // the previous run has finished
    cancel_ = false;
    worker_ = std::thread([this] {
        UpdateDownload run(view_, settings_, folder_, texts_.chinese, server_);
        last_ = run.Run(&cancel_);
        running_ = false;
    });
    return true;
}

void CUpdateDlg::Shutdown() {
    cancel_ = true;
    if (worker_.joinable()) worker_.join();
}
