#include "pages/pwm/servo_pwm_widget.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "pages/pwm/servo_pwm.h"

namespace {

// The page's name for what the user did to the pulse bar.
ScrollCode ScrollCodeOf(int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub:
            return ScrollCode::kLineLeft;
        case QAbstractSlider::SliderSingleStepAdd:
            return ScrollCode::kLineRight;
        case QAbstractSlider::SliderPageStepSub:
            return ScrollCode::kPageLeft;
        case QAbstractSlider::SliderPageStepAdd:
            return ScrollCode::kPageRight;
        case QAbstractSlider::SliderMove:
            return ScrollCode::kThumbTrack;
        default:
            return ScrollCode::kEndScroll;
    }
}

}  // namespace

CServoPwmWidget::CServoPwmWidget(CServoPwm& page, bool chinese, QWidget* parent)
    : QWidget(parent), page_(page), timers_(this, [this](int id) { page_.OnTimer(id); }) {
    Build(chinese);
    page_.InitDialog(this);
}

CServoPwmWidget::~CServoPwmWidget() {
    timers_.StopAll();
    page_.InitDialog(nullptr);
}

void CServoPwmWidget::Build(bool zh) {
    auto* manual = new QGroupBox(Tr(zh, "Manual", "信号控制"), this);
    auto* manual_layout = new QVBoxLayout(manual);
    auto* bar_row = new QHBoxLayout;
    bar_ = new QScrollBar(Qt::Horizontal, manual);
    bar_->setSingleStep(1);
    bar_->setPageStep(100);
    bar_->setMinimumWidth(360);
    controls_.Add(kPwmPulseBar, bar_);
    auto* pulse = new QLabel(manual);
    pulse->setMinimumWidth(60);
    controls_.Add(kPwmPulseStatic, pulse);
    bar_row->addWidget(bar_, 1);
    bar_row->addWidget(pulse);
    manual_layout->addLayout(bar_row);
    connect(bar_, &QScrollBar::actionTriggered, this, &CServoPwmWidget::OnBarAction);

    auto* presets = new QHBoxLayout;
    const int preset_ids[] = {kPwmPreset500,  kPwmPreset900,  kPwmPreset1200, kPwmPreset1500,
                              kPwmPreset1800, kPwmPreset2100, kPwmPreset2500};
    for (int id : preset_ids) {
        auto* b = new QPushButton(QString::number(CServoPwm::PresetValue(id)), manual);
        controls_.Add(id, b);
        presets->addWidget(b);
        connect(b, &QPushButton::clicked, this, [this, id] { page_.OnPreset(id); });
    }
    manual_layout->addLayout(presets);

    auto edit = [this](QWidget* parent, int id) {
        auto* e = new QLineEdit(parent);
        e->setMaximumWidth(70);
        controls_.Add(id, e);
        return e;
    };
    auto button = [this](QWidget* parent, int id) {
        auto* b = new QPushButton(parent);
        controls_.Add(id, b);
        return b;
    };

    auto* autos = new QGroupBox(Tr(zh, "Auto", "自动测试"), this);
    auto* auto_layout = new QGridLayout(autos);
    auto_layout->addWidget(edit(autos, kPwmIntervalEdit), 0, 0);
    auto_layout->addWidget(new QLabel("ms", autos), 0, 1);
    auto_layout->addWidget(button(autos, kPwmSweepButton), 0, 2);
    auto_layout->addWidget(edit(autos, kPwmStepSizeEdit), 1, 0);
    auto_layout->addWidget(new QLabel("us", autos), 1, 1);
    auto_layout->addWidget(button(autos, kPwmStepButton), 1, 2);
    connect(static_cast<QPushButton*>(controls_.Find(kPwmSweepButton)), &QPushButton::clicked, this,
            [this] { page_.OnSweep(); });
    connect(static_cast<QPushButton*>(controls_.Find(kPwmStepButton)), &QPushButton::clicked, this,
            [this] { page_.OnStep(); });

    auto* signal = new QGroupBox(Tr(zh, "Signal", "信号设置"), this);
    auto* signal_layout = new QGridLayout(signal);
    signal_layout->addWidget(new QLabel(Tr(zh, "Min", "最小"), signal), 0, 0);
    signal_layout->addWidget(edit(signal, kPwmMinEdit), 0, 1);
    signal_layout->addWidget(new QLabel(Tr(zh, "Max", "最大"), signal), 1, 0);
    signal_layout->addWidget(edit(signal, kPwmMaxEdit), 1, 1);
    signal_layout->addWidget(button(signal, kPwmSwitchButton), 0, 2, 2, 1);
    connect(static_cast<QPushButton*>(controls_.Find(kPwmSwitchButton)), &QPushButton::clicked,
            this, [this] { page_.OnSwitch(); });

    auto* lower = new QHBoxLayout;
    lower->addWidget(autos);
    lower->addWidget(signal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(manual);
    layout->addLayout(lower);
    layout->addStretch();
}

void CServoPwmWidget::OnBarAction(int action) {
    page_.OnScroll(ScrollCodeOf(action), bar_->sliderPosition());
    // Whatever the bar did on its own, it shows where the page put it.
    bar_->setSliderPosition(bar_pos_);
}

QWidget* CServoPwmWidget::Control(int id) const { return controls_.Find(id); }

void CServoPwmWidget::SetText(int control, const std::string& text) {
    controls_.SetText(control, text);
}

std::string CServoPwmWidget::Text(int control) const { return controls_.Text(control); }

void CServoPwmWidget::SetTextLimit(int control, int characters) {
    controls_.SetTextLimit(control, characters);
}

void CServoPwmWidget::Enable(int control, bool enabled) { controls_.Enable(control, enabled); }

void CServoPwmWidget::SetScrollRange(int control, int minimum, int maximum) {
    if (control != kPwmPulseBar) return;
    const QSignalBlocker block(bar_);
    bar_->setRange(minimum, maximum);
    SetScrollPos(control, bar_pos_);
}

void CServoPwmWidget::SetScrollPos(int control, int position) {
    if (control != kPwmPulseBar) return;
    bar_pos_ = std::clamp(position, bar_->minimum(), bar_->maximum());
    const QSignalBlocker block(bar_);
    bar_->setSliderPosition(bar_pos_);
}

int CServoPwmWidget::ScrollPos(int control) const { return control == kPwmPulseBar ? bar_pos_ : 0; }

void CServoPwmWidget::StartTimer(int id, int interval_ms) { timers_.Start(id, interval_ms); }

void CServoPwmWidget::KillTimer(int id) { timers_.Kill(id); }
