#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "platform/ui_dispatcher.h"

// Work posted for a page runs while the page lives and is dropped, queued or not, once it is
// gone; the dispatcher itself keeps running whatever else was posted to it.
TEST(UiPoster, PostedWorkRunsUntilTheOwnerIsGone) {
    QueuedDispatcher ui;
    std::vector<int> ran;
    {
        UiPoster page(ui);
        page.Post([&] { ran.push_back(1); });
        EXPECT_EQ(ui.Drain(), 1);

        page.Post([&] { ran.push_back(2); });
        ui.Post([&] { ran.push_back(3); });
        page.Revoke();
        page.Post([&] { ran.push_back(4); });
    }
    std::optional<UiPoster> later(ui);
    later->Post([&] { ran.push_back(5); });
    later.reset();

    ui.Drain();
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

TEST(UiPoster, WorkersPostWhileThePageRevokes) {
    QueuedDispatcher ui;
    UiPoster page(ui);
    int ran = 0;
    std::thread worker([&] {
        for (int i = 0; i < 1000; ++i) page.Post([&] { ++ran; });
    });
    page.Revoke();
    worker.join();
    ui.Drain();
    EXPECT_EQ(ran, 0);
}
