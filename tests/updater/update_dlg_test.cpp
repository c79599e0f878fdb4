// VexaUpdate's dialog logic: the instruction text, and one run at a time on the worker.
#include "updater/update_dlg.h"

#include <condition_variable>

#include "tests/updater/update_fixture.h"

namespace {

TEST(UpdateDlg, ASecondClickDuringTheVersionQueryStartsNothing) {
    TestFolder work, config;
    SettingsStore settings(config.path());
    RecordingUpdateView view;
    std::mutex m;
    std::condition_variable cv;
    bool release = false;
    int queries = 0;
    UpdateServerAccess access;
    access.get = [&](const std::string&) {
        std::unique_lock lock(m);
        ++queries;
        cv.notify_all();
        cv.wait(lock, [&] { return release; });
        return std::string();  // no reply
    };
    access.stream = [](const std::string&, const std::function<bool(const char*, size_t)>&) {
        return false;
    };
    CUpdateDlg dlg(view, settings, work.path(), false, access);
    dlg.OnInitDialog();
    EXPECT_EQ(view.logs, (std::vector<std::string>{"Click download to start upgrade!"}));

    ASSERT_TRUE(dlg.OnDownload());
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return queries == 1; });
    }
    EXPECT_TRUE(dlg.Running());
    EXPECT_FALSE(dlg.OnDownload());
    {
        std::lock_guard lock(m);
        release = true;
    }
    cv.notify_all();
    for (int i = 0; i < 500 && dlg.Running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_FALSE(dlg.Running());
    EXPECT_EQ(dlg.LastResult(), UpdateDownload::Result::kNoReply);
    EXPECT_EQ(view.Messages(), (std::vector<std::string>{"error: server no returned!"}));

    // A finished run lets the next click start a new one.
    ASSERT_TRUE(dlg.OnDownload());
    dlg.Shutdown();
    EXPECT_EQ(queries, 2);
}

}  // namespace
