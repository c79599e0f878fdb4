#pragma once
// VexaUpdate's dialog logic (dialog 129): the instruction text, and the "Download" button
// that runs the download procedure on a worker thread so the dialog stays responsive.
// One run at a time: a click while a run is under way starts nothing.
#include <atomic>
#include <string>
#include <thread>

#include "updater/update_download.h"

class CUpdateDlg {
  public:
    static constexpr int kLogEdit = 1321;
    static constexpr int kDownloadButton = 1266;

    CUpdateDlg(UpdateView& view, SettingsStore& settings, std::string folder, bool chinese,
               UpdateServerAccess server = UpdateServerAccess::Default());
    ~CUpdateDlg();
    CUpdateDlg(const CUpdateDlg&) = delete;
    CUpdateDlg& operator=(const CUpdateDlg&) = delete;

    void OnInitDialog();
    // Starts a run; false (and nothing started) while one is under way.
    bool OnDownload();
    // Ends a running transfer and waits for the worker; no view call follows.
    void Shutdown();

    bool Running() const { return running_.load(); }
    // The result of the last finished run.
    UpdateDownload::Result LastResult() const { return last_.load(); }
    const UpdateTexts& Texts() const { return texts_; }

  private:
    UpdateView& view_;
    SettingsStore& settings_;
    std::string folder_;
    const UpdateTexts texts_;
    UpdateServerAccess server_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<UpdateDownload::Result> last_{UpdateDownload::Result::kNoReply};
    std::thread worker_;
};
