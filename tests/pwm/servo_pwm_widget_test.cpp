// The PWM page on screen (offscreen platform) against the simulated adapter: buttons and the
// scroll bar reach the page, the real signal timer drives a sweep, captions in both
// languages. A screenshot of the page is saved under the build folder's artifacts.
#include "pages/pwm/servo_pwm_widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <filesystem>
#include <iostream>
#include <set>

#include "tests/pwm/pwm_fixture.h"
#include "tests/support/on_screen.h"

namespace {

// Clicks the button and gives its caption afterwards.
QString ClickedCaption(const CServoPwmWidget& w, int id) {
    QTest::mouseClick(qobject_cast<QAbstractButton*>(w.Control(id)), Qt::LeftButton);
    return Caption(w, id);
}

using PwmWidget = PwmBus;

TEST_F(PwmWidget, ControlsDriveTheAdapterAndTheTimerSweeps) {
    CServoPwm page(tervion_, lock_);
    CServoPwmWidget widget(page, false);
    widget.resize(560, 300);
    widget.show();
    EXPECT_EQ(Caption(widget, kPwmPulseStatic), "1500us");
    EXPECT_EQ(Caption(widget, kPwmSwitchButton), "ON");
    EXPECT_EQ(qobject_cast<QLineEdit*>(widget.Control(kPwmIntervalEdit))->maxLength(), 4);

    QTest::mouseClick(qobject_cast<QAbstractButton*>(widget.Control(kPwmPreset1800)),
                      Qt::LeftButton);
    EXPECT_EQ(Caption(widget, kPwmPulseStatic), "1800us");
    EXPECT_EQ(Caption(widget, kPwmSwitchButton), "OFF");
    auto* bar = qobject_cast<QScrollBar*>(widget.Control(kPwmPulseBar));
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->value(), 1800);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(Caption(widget, kPwmPulseStatic), "1801us");
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(Caption(widget, kPwmPulseStatic), "1701us");
    EXPECT_EQ(bar->value(), 1701);

    qobject_cast<QLineEdit*>(widget.Control(kPwmIntervalEdit))->setText("40");
    adapter_.ClearTrain();
    auto* sweep = qobject_cast<QAbstractButton*>(widget.Control(kPwmSweepButton));
    QTest::mouseClick(sweep, Qt::LeftButton);
    EXPECT_EQ(sweep->text(), "Stop");
    EXPECT_FALSE(widget.Control(kPwmStepButton)->isEnabled());
    // The real timer sweeps until the adapter has seen a few turns (slow builds take longer).
    EXPECT_TRUE(QTest::qWaitFor([&] { return Pulses().size() >= 4; }, 5000));
    QTest::mouseClick(sweep, Qt::LeftButton);
    EXPECT_EQ(sweep->text(), "Sweep");
    AwaitRequests(bus_.requests_seen());
    const std::vector<int> pulses = Pulses();
    ASSERT_GE(pulses.size(), 3u);
    for (size_t k = 0; k < pulses.size(); ++k) EXPECT_EQ(pulses[k], k % 2 ? 2500 : 500);

    ASSERT_TRUE(SaveShot(widget, "pwm_page.png"));
}

// Every caption of the page's Chinese form: groups, labels, buttons, and the texts the
// switch and the running buttons change to.
TEST_F(PwmWidget, ChineseCaptions) {
    CServoPwm page(tervion_, lock_, true);
    CServoPwmWidget widget(page, true);
    std::set<std::string> groups, labels;
    for (const QGroupBox* g : widget.findChildren<QGroupBox*>())
        groups.insert(g->title().toStdString());
    for (const QLabel* l : widget.findChildren<QLabel*>()) labels.insert(l->text().toStdString());
    EXPECT_EQ(groups, (std::set<std::string>{"信号控制", "自动测试", "信号设置"}));
    EXPECT_EQ(labels, (std::set<std::string>{"1500us", "ms", "us", "最小", "最大"}));
    EXPECT_EQ(Caption(widget, kPwmSweepButton), "扫描");
    EXPECT_EQ(Caption(widget, kPwmStepButton), "步进");
    EXPECT_EQ(Caption(widget, kPwmSwitchButton), "开");

    EXPECT_EQ(ClickedCaption(widget, kPwmSwitchButton), "关");
    EXPECT_EQ(ClickedCaption(widget, kPwmStepButton), "停止");
    EXPECT_EQ(ClickedCaption(widget, kPwmStepButton), "步进");
    EXPECT_EQ(ClickedCaption(widget, kPwmSweepButton), "停止");
    page.StopAuto();
    EXPECT_EQ(Caption(widget, kPwmSweepButton), "扫描");
}

}  // namespace
