// The Upgrade page on screen (offscreen platform): a firmware sent to a simulated servo by
// clicking "Upgrade", the progress bar's two-coloured text, and a screenshot of the page
// saved under the build folder's artifacts.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <iostream>

#include "pages/upgrade/servo_test_widget.h"
#include "pages/upgrade/text_progress_ctrl_widget.h"
#include "tests/support/on_screen.h"
#include "upgrade_fixture.h"

using namespace upgrade_test;

namespace {

// The page's widget with the open dialog answered by a path.
class AnsweringWidget : public CServoTestWidget {
  public:
    using CServoTestWidget::CServoTestWidget;
    bool AskOpenFile(const std::string&, const std::string&, std::string& path) override {
        path = file;
        return true;
    }
    std::string file;
};

using UpgradeWidget = SimPage;

}  // namespace

TEST(TextProgress, TextChangesColourWhereTheBarEnds) {
    CTextProgressCtrl bar;
    bar.resize(200, 24);
    bar.SetRange(0, 4);
    EXPECT_EQ(bar.SetPos(2), 0);
    EXPECT_EQ(bar.StepIt(), 2);
    EXPECT_EQ(bar.ShownText(), "75%");
    bar.SetPos(1);  // 25%: the text, centred, lies over the background only
    const QImage img = bar.grab().toImage();
    const QColor highlight = bar.palette().color(QPalette::Highlight);
    const QColor base = bar.palette().color(QPalette::Base);
    EXPECT_EQ(img.pixelColor(10, 12), highlight);
    EXPECT_EQ(img.pixelColor(190, 12), base);
    int text_pixels = 0;
    for (int x = 60; x < 140; ++x)
        for (int y = 0; y < 24; ++y)
            if (img.pixelColor(x, y) != base) ++text_pixels;
    EXPECT_GT(text_pixels, 10) << "the text is drawn in the highlight colour over the rest";
    bar.SetWindowText("boot");
    EXPECT_EQ(bar.ShownText(), "boot");
    bar.SetWindowText("");
    EXPECT_EQ(bar.ShownText(), "25%");
}

TEST_F(UpgradeWidget, AFirmwareSentByClickingUpgrade) {
    page_->AttachView(nullptr);
    AnsweringWidget widget(*page_, false);
    widget.resize(560, 480);
    widget.show();
    auto* upgrade = qobject_cast<QPushButton*>(widget.Control(kUpgradeButton));
    ASSERT_NE(upgrade, nullptr);
    EXPECT_FALSE(upgrade->isEnabled());
    EXPECT_EQ(upgrade->text(), "Upgrade");

    ServoInfo record{};
    record[5] = 1;
    page_->SetServo(1, FoundList(record), 0, "VX40");
    widget.file = WriteFile(folder, "fw.bin", Pattern(64 * 40));
    QTest::mouseClick(qobject_cast<QPushButton*>(widget.Control(kOpenFirmwareButton)),
                      Qt::LeftButton);
    EXPECT_TRUE(upgrade->isEnabled());
    EXPECT_EQ(widget.Progress()->ShownText(), "0%");
    // The key M over the page makes Intel HEX files Modbus images.
    QTest::keyClick(&widget, Qt::Key_M);
    EXPECT_EQ(page_->device_kind(), 2);
    QTest::keyClick(&widget, Qt::Key_B);
    EXPECT_EQ(page_->device_kind(), 0);

    bus_.SetReplyDelayUs(15000);  // slow enough to catch the bar half-way
    QTest::mouseClick(upgrade, Qt::LeftButton);
    EXPECT_FALSE(upgrade->isEnabled());
    bool shot_taken = false;
    ASSERT_TRUE(WaitUntil([&] { return upgrade->isEnabled(); }, std::chrono::seconds(10),
                          [&] {
                              ui_.Drain();
                              QApplication::processEvents();
                              if (!shot_taken && widget.Progress()->state().pos() >= 18)
                                  shot_taken = SaveShot(widget, "upgrade_page.png");
                              std::this_thread::sleep_for(std::chrono::milliseconds(1));
                          }));
    bus_.SetReplyDelayUs(0);
    EXPECT_TRUE(shot_taken);
    EXPECT_EQ(widget.Progress()->ShownText(), "100%");
    EXPECT_EQ(bus_.uploads(), 1);

    page_->Shutdown();
    ui_.Drain();
    page_->AttachView(nullptr);
}
