// The Debug page's Qt view on the offscreen platform, wired to a simulated servo: moving the
// slider drives the servo, the poll fills the statics and the chart, and a screenshot of the
// page with its curves is saved under the build folder's artifacts.
#include "pages/debug/robot_dlg_widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <filesystem>
#include <iostream>

#include "app/qt_dispatcher_widget.h"
#include "pages/debug/cpic_widget.h"
#include "tests/debug/debug_fixture.h"
#include "tests/support/on_screen.h"
#include "tools/sim/sim_bus.h"

using namespace debug_test;

namespace {

class DebugWidgetTest : public SimLine {
  protected:
    void SetUp() override {
        folder_.Put(setup_->MainName(), DebugSection("3,0,20,0,56,72,41,1,10,0,40,0,0\n"));
        bus_.AddServo(sim::BuiltInServoModel(), {.id = 1});
        ASSERT_EQ(OpenLine(), "");
    }

    QtUiDispatcher ui_;
};

TEST_F(DebugWidgetTest, SliderDrivesSimulatedServoAndChartShowsCurves) {
    CRobotDlg page(*setup_, modbus_, tervion_, lock_, false, ui_);
    CRobotDlgWidget widget(page, false);
    widget.resize(960, 680);
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    EXPECT_TRUE(page.Polling());
    EXPECT_EQ(Caption(widget, kWriteRadio), "Write");
    EXPECT_EQ(Caption(widget, kStateStatic), "Normal");

    static const FoundServo found[] = {{{3, 10, 0, 9, 3, 1, 0, 0, 1}, kKindServo}};
    page.SelectServo(1, found, 0);
    auto* slider = qobject_cast<QSlider*>(widget.Control(kGoalSlider));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->maximum(), 4095);

    // Show every channel, then move the slider as a user would (several steps).
    for (int id : {kCurrentCheck, kVoltageCheck, kTemperatureCheck}) {
        QTest::mouseClick(qobject_cast<QCheckBox*>(widget.Control(id)), Qt::LeftButton);
    }
    EXPECT_EQ(page.Graph().Channels(), 0xE7u);
    for (int target : {2600, 3200, 1200}) {
        slider->setSliderPosition(target);  // as a drag does
        QTest::qWait(0);                    // the page handles the move once it is in place
        EXPECT_EQ(Caption(widget, kGoalEdit), QString::number(target));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return Caption(widget, kPositionStatic) == QString::number(target); }, 8000))
            << "position " << Caption(widget, kPositionStatic).toStdString();
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return Caption(widget, kMovingStatic) == "0"; }, 5000));
    EXPECT_EQ(Caption(widget, kVoltageStatic), "12.0 V");
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return page.Graph().SampleCount(chart::kPosition) > 20; }, 5000));

    // Registered writes enable "Action"; Ctrl+S reveals the hidden channels.
    QTest::mouseClick(qobject_cast<QAbstractButton*>(widget.Control(kRegWriteRadio)),
                      Qt::LeftButton);
    EXPECT_TRUE(widget.Control(kActionButton)->isEnabled());
    EXPECT_FALSE(widget.Control(kGoalCheck)->isVisibleTo(&widget));
    QTest::keyClick(&widget, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(widget.Control(kGoalCheck)->isVisibleTo(&widget));

    // The chart shows the black position curve over the white canvas.
    const QImage chart = widget.Chart()->grab().toImage();
    int black = 0, red = 0;
    for (int y = 0; y < chart.height(); ++y) {
        for (int x = 0; x < chart.width(); ++x) {
            const QColor c = chart.pixelColor(x, y);
            if (c.red() < 60 && c.green() < 60 && c.blue() < 60) ++black;
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) ++red;
        }
    }
    EXPECT_GT(black, 200);
    EXPECT_GT(red, 50);

    ASSERT_TRUE(SaveShot(widget, "debug_page.png"));
}

TEST_F(DebugWidgetTest, ChineseCaptions) {
    CRobotDlg page(*setup_, modbus_, tervion_, lock_, true, ui_);
    CRobotDlgWidget widget(page, true);
    EXPECT_EQ(Caption(widget, kWriteRadio), "普通写");
    EXPECT_EQ(Caption(widget, kSyncWriteRadio), "同步写");
    EXPECT_EQ(Caption(widget, kRegWriteRadio), "异步写");
    EXPECT_EQ(Caption(widget, kActionButton), "异步执行");
    EXPECT_EQ(Caption(widget, kTorqueCheck), "扭矩输出");
    EXPECT_EQ(Caption(widget, kSweepButton), "扫描");
    EXPECT_EQ(Caption(widget, kStepButton), "步进");
    EXPECT_EQ(Caption(widget, kExportButton), "导出");
    EXPECT_EQ(Caption(widget, kEmptyButton), "清空");
    EXPECT_EQ(Caption(widget, kPositionCheck), "位置(黑)");
    EXPECT_EQ(Caption(widget, kStateStatic), "通信正常");
    // Nothing selected: the poll shows "Timeout".
    EXPECT_TRUE(QTest::qWaitFor([&] { return Caption(widget, kStateStatic) == "通信超时"; }, 2000));
}

// Goal writes the simulator received (instruction 3 at the motion block 41), as positions.
std::vector<int> GoalsSent(sim::SimBus& bus) {
    std::vector<int> goals;
    for (const auto& r : bus.TakeRequests()) {
        if (r.size() == 14 && r[4] == 0x03 && r[5] == 41) goals.push_back(r[7] | r[8] << 8);
    }
    return goals;
}

QPoint ThumbCentre(const QSlider& slider) {
    QStyleOptionSlider opt;
    opt.initFrom(&slider);
    opt.orientation = slider.orientation();
    opt.minimum = slider.minimum();
    opt.maximum = slider.maximum();
    opt.sliderPosition = slider.sliderPosition();
    opt.sliderValue = slider.value();
    opt.subControls = QStyle::SC_All;
    return slider.style()
        ->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, &slider)
        .center();
}

TEST_F(DebugWidgetTest, EverySliderActionSendsAGoalAndCtrlSGoesOnToTheFocusedControl) {
    CRobotDlg page(*setup_, modbus_, tervion_, lock_, false, ui_);
    QWidget window;
    // Keys the page's controls leave unhandled reach the window around the page.
    struct KeyLog : QObject {
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_S)
                ++s_keys;
            return false;
        }
        int s_keys = 0;
    } log;
    window.installEventFilter(&log);
    auto* widget = new CRobotDlgWidget(page, false, &window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    page.StopPolling();
    static const FoundServo found[] = {{{3, 10, 0, 9, 3, 1, 0, 0, 1}, kKindServo}};
    page.SelectServo(1, found, 0);
    auto* slider = qobject_cast<QSlider*>(widget->Control(kGoalSlider));
    ASSERT_NE(slider, nullptr);

    bus_.RecordRequests(true);
    // The goals the simulated servo received since the last call, once n have come; a read
    // sent behind them and answered then proves that no further goal is on its way.
    auto goals_sent = [&](size_t n) {
        std::vector<int> goals;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (int goal : GoalsSent(bus_)) goals.push_back(goal);
                return goals.size() >= n;
            },
            5000));
        uint8_t byte = 0;
        std::lock_guard<BusLock> g(lock_);
        EXPECT_EQ(tervion_.Read(1, 0, &byte, 1), 1);
        for (int goal : GoalsSent(bus_)) goals.push_back(goal);
        return goals;
    };
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_End);
    QTest::keyClick(slider, Qt::Key_Right);  // already at the end: the value stays
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(goals_sent(3), (std::vector<int>{4095, 4095, 4095}));
    // A click on the thumb and its release, without moving it.
    const QPoint thumb = ThumbCentre(*slider);
    QTest::mousePress(slider, Qt::LeftButton, {}, thumb);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, thumb);
    EXPECT_EQ(goals_sent(2), (std::vector<int>{4095, 4095}));
    // A position the page sets itself sends nothing: only the Set button's own goal.
    page.OnSet();
    EXPECT_EQ(goals_sent(1).size(), 1u);

    auto* edit = widget->Control(kAccEdit);
    edit->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return edit->hasFocus(); }, 2000));
    QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(widget->Control(kGoalCheck)->isVisibleTo(widget));
    EXPECT_TRUE(widget->Control(kFastSlowCheck)->isVisibleTo(widget));
    EXPECT_EQ(log.s_keys, 1);
}

// The main window deletes its page objects before the page widgets in its tabs.
TEST_F(DebugWidgetTest, PageMayGoBeforeItsWidget) {
    auto page = std::make_unique<CRobotDlg>(*setup_, modbus_, tervion_, lock_, false, ui_);
    auto widget = std::make_unique<CRobotDlgWidget>(*page, false);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget.get()));
    static const FoundServo found[] = {{{3, 10, 0, 9, 3, 1, 0, 0, 1}, kKindServo}};
    page->SelectServo(1, found, 0);
    QTest::mouseClick(qobject_cast<QAbstractButton*>(widget->Control(kSweepButton)),
                      Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page->Graph().SampleCount(chart::kPosition) > 2; }));
    page.reset();
    EXPECT_EQ(widget->Chart(), nullptr);
    QTest::qWait(100);  // results posted before the page went are dropped
    QTest::mouseClick(qobject_cast<QAbstractButton*>(widget->Control(kSetButton)), Qt::LeftButton);
    qobject_cast<QSlider*>(widget->Control(kGoalSlider))->setValue(100);
    widget.reset();
}

}  // namespace
