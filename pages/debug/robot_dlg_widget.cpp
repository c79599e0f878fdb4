#include "pages/debug/robot_dlg_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <functional>

#include "pages/debug/cpic_widget.h"
#include "pages/debug/robot_dlg.h"

CRobotDlgWidget::CRobotDlgWidget(CRobotDlg& page, bool chinese, QWidget* parent)
    : QWidget(parent), page_(&page), timers_(this, [this](int id) {
          if (page_) page_->OnTimer(id);
      }) {
    Build(chinese);
    page_->InitDialog(this);
}

CRobotDlgWidget::~CRobotDlgWidget() {
    timers_.StopAll();
    if (!page_) return;
    page_->StopPolling();
    page_->AttachView(nullptr);
    // The chart widget (a child, deleted after this) detaches itself from the live CPIC.
}

void CRobotDlgWidget::PageDestroyed() {
    // The page and its CPIC are going first: the chart widget must not outlive them, and no
    // event may reach the page any more.
    timers_.StopAll();
    controls_.Remove(kGraphArea);
    delete chart_;
    chart_ = nullptr;
    page_ = nullptr;
}

template <class T>
T* CRobotDlgWidget::Make(int id, const QString& caption) {
    T* w = new T(this);
    if constexpr (std::is_base_of_v<QAbstractButton, T> || std::is_same_v<T, QLabel>) {
        if (!caption.isEmpty()) w->setText(caption);
    }
    if (id) controls_.Add(id, w);
    return w;
}

template <class Sender, class Signal, class Call>
void CRobotDlgWidget::ForwardToPage(Sender* sender, Signal signal, Call call) {
    connect(sender, signal, this, [this, call] {
        if (page_) std::invoke(call, *page_);
    });
}

void CRobotDlgWidget::Build(bool zh) {
    auto label = [this](const QString& text) { return new QLabel(text, this); };

    // Chart with its channel check boxes and axis controls.
    chart_ = new CpicWidget(&page_->Graph(), this);
    chart_->setMinimumSize(420, 170);  // leaves room for the bus monitor below the page
    controls_.Add(kGraphArea, chart_);

    struct ChannelBox {
        int id;
        const char* english;
        const char* chinese;
    };
    const ChannelBox channels[] = {
        {kPositionCheck, "Postiton", "位置(黑)"}, {kTorqueGraphCheck, "Torque", "扭力(红)"},
        {kSpeedCheck, "Speed", "速度(绿)"},       {kGoalCheck, "Goal", "目标(蓝)"},
        {kFastSlowCheck, "GSpeed", "快慢(黄)"},   {kCurrentCheck, "Current", "电流(青)"},
        {kVoltageCheck, "Voltage", "电压(紫)"},   {kTemperatureCheck, "Temperature", "温度(米)"},
    };
    std::array<QString, chart::kChannelCount> names;
    for (size_t i = 0; i < names.size(); ++i)
        names[i] = Tr(zh, channels[i].english, channels[i].chinese);
    chart_->SetChannelNames(names);
    chart_->SetChinese(zh);
    auto* checks = new QHBoxLayout;
    for (const ChannelBox& c : channels) {
        auto* box = Make<QCheckBox>(c.id, Tr(zh, c.english, c.chinese));
        checks->addWidget(box);
        const int id = c.id;
        ForwardToPage(box, &QCheckBox::clicked, [id](CRobotDlg& p) { p.OnGraphCheck(id); });
    }
    checks->addStretch();

    auto* axis = new QHBoxLayout;
    auto* zoom = Make<QSlider>(kZoomSlider);
    zoom->setOrientation(Qt::Horizontal);
    auto* shift = Make<QSlider>(kShiftSlider);
    shift->setOrientation(Qt::Horizontal);
    auto* up = Make<QLineEdit>(kUpEdit);
    auto* low = Make<QLineEdit>(kLowEdit);
    up->setMaximumWidth(60);
    low->setMaximumWidth(60);
    axis->addWidget(label(Tr(zh, "ZoomX", "水平缩放")));
    axis->addWidget(zoom, 1);
    axis->addWidget(label(Tr(zh, "Horizontal", "水平位移")));
    axis->addWidget(shift, 2);
    axis->addWidget(label(Tr(zh, "Up", "上限")));
    axis->addWidget(up);
    axis->addWidget(label(Tr(zh, "Low", "下限")));
    axis->addWidget(low);
    // Zooming and panning on the chart move the sliders, which set the chart as a drag does.
    connect(chart_, &CpicWidget::ViewRequested, this, [zoom, shift](int z, int s) {
        zoom->setValue(z);
        shift->setValue(s);
    });
    ForwardToPage(zoom, &QSlider::valueChanged, &CRobotDlg::OnZoomScroll);
    ForwardToPage(shift, &QSlider::valueChanged, &CRobotDlg::OnShiftScroll);
    ForwardToPage(up, &QLineEdit::textChanged, &CRobotDlg::OnUpChanged);
    ForwardToPage(low, &QLineEdit::textChanged, &CRobotDlg::OnLowChanged);

    // Live feedback.
    struct Feedback {
        int id;
        const char* english;
        const char* chinese;
    };
    const Feedback statics[] = {
        {kPositionStatic, "Position:", "位置:"},
        {kSpeedStatic, "Speed:", "速度:"},
        {kTorqueStatic, "Torque:", "扭矩:"},
        {kGoalStatic, "Goal:", "目标:"},
        {kCurrentStatic, "Current:", "电流:"},
        {kVoltageStatic, "Voltage:", "电压:"},
        {kTemperatureStatic, "Temperature:", "温度:"},
        {kMovingStatic, "Moving:", "移动:"},
        {kStateStatic, "State:", "状态:"},
    };
    auto* feedback = new QGroupBox(Tr(zh, "Feedback", "反馈"), this);
    auto* fb = new QGridLayout(feedback);
    int row = 0;
    for (const Feedback& s : statics) {
        fb->addWidget(label(Tr(zh, s.english, s.chinese)), row, 0);
        auto* value = Make<QLabel>(s.id);
        value->setMinimumWidth(90);
        fb->addWidget(value, row++, 1);
    }
    fb->setRowStretch(row, 1);

    // Motion: write mode, torque, slider and edits.
    auto* motion = new QGroupBox(Tr(zh, "Control", "控制"), this);
    auto* mo = new QGridLayout(motion);
    auto* write = Make<QRadioButton>(kWriteRadio, Tr(zh, "Write", "普通写"));
    auto* sync = Make<QRadioButton>(kSyncWriteRadio, Tr(zh, "Sync Write", "同步写"));
    auto* reg = Make<QRadioButton>(kRegWriteRadio, Tr(zh, "Reg Write", "异步写"));
    auto* torque = Make<QCheckBox>(kTorqueCheck, Tr(zh, "Torque Enable", "扭矩输出"));
    auto* action = Make<QPushButton>(kActionButton, Tr(zh, "Action", "异步执行"));
    ForwardToPage(write, &QRadioButton::clicked, [](CRobotDlg& p) { p.OnWriteModeChanged(0); });
    ForwardToPage(sync, &QRadioButton::clicked, [](CRobotDlg& p) { p.OnWriteModeChanged(1); });
    ForwardToPage(reg, &QRadioButton::clicked, [](CRobotDlg& p) { p.OnWriteModeChanged(2); });
    ForwardToPage(torque, &QCheckBox::clicked, &CRobotDlg::OnTorqueClicked);
    ForwardToPage(action, &QPushButton::clicked, &CRobotDlg::OnAction);
    auto* modes = new QHBoxLayout;
    for (QWidget* w : std::initializer_list<QWidget*>{write, sync, reg, torque, action}) {
        modes->addWidget(w);
    }
    modes->addStretch();
    mo->addLayout(modes, 0, 0, 1, 9);

    auto* goal_slider = Make<QSlider>(kGoalSlider);
    goal_slider->setOrientation(Qt::Horizontal);
    // A goal goes out on every user action on the slider, also one that leaves the value
    // as it was (a click on the thumb, the end of a drag, an arrow key at the end of the
    // range); positions set by the page itself send nothing. An action is reported before
    // the slider takes its new value, so it is handled once the value is in place.
    connect(goal_slider, &QSlider::actionTriggered, this, &CRobotDlgWidget::GoalSliderAction,
            Qt::QueuedConnection);
    connect(goal_slider, &QSlider::sliderPressed, this, &CRobotDlgWidget::GoalSliderAction);
    connect(goal_slider, &QSlider::sliderReleased, this, &CRobotDlgWidget::GoalSliderAction);
    mo->addWidget(goal_slider, 1, 0, 1, 9);

    const Feedback edits[] = {{kAccEdit, "Acc", "加速度"},
                              {kGoalEdit, "Goal", "目标"},
                              {kSpeedEdit, "Speed", "速度"},
                              {kTimeEdit, "Time", "时间"}};
    int col = 0;
    for (const Feedback& e : edits) {
        mo->addWidget(label(Tr(zh, e.english, e.chinese)), 2, col++);
        auto* edit = Make<QLineEdit>(e.id);
        edit->setMaximumWidth(70);
        mo->addWidget(edit, 2, col++);
    }
    auto* set = Make<QPushButton>(kSetButton, Tr(zh, "Set", "设置"));
    ForwardToPage(set, &QPushButton::clicked, &CRobotDlg::OnSet);
    mo->addWidget(set, 2, col);

    // Auto debug.
    auto* auto_box = new QGroupBox(Tr(zh, "Auto debug", "自动调试"), this);
    auto* au = new QGridLayout(auto_box);
    auto small_edit = [this](int id) {
        auto* e = Make<QLineEdit>(id);
        e->setMaximumWidth(60);
        return e;
    };
    au->addWidget(label(Tr(zh, "Start", "起启")), 0, 0);
    au->addWidget(small_edit(kStartEdit), 0, 1);
    au->addWidget(label(Tr(zh, "End", "结束")), 0, 2);
    au->addWidget(small_edit(kEndEdit), 0, 3);
    au->addWidget(label(Tr(zh, "Delay(Sweep)", "延时(扫描)")), 1, 0);
    au->addWidget(small_edit(kSweepDelayEdit), 1, 1);
    auto* sweep = Make<QPushButton>(kSweepButton, Tr(zh, "Sweep", "扫描"));
    au->addWidget(sweep, 1, 2, 1, 2);
    au->addWidget(label(Tr(zh, "Setp:Delay", "步数:延时")), 2, 0);
    au->addWidget(small_edit(kStepEdit), 2, 1);
    au->addWidget(small_edit(kStepDelayEdit), 2, 2);
    auto* step = Make<QPushButton>(kStepButton, Tr(zh, "Setp", "步进"));
    au->addWidget(step, 2, 3);
    ForwardToPage(sweep, &QPushButton::clicked, &CRobotDlg::OnSweep);
    ForwardToPage(step, &QPushButton::clicked, &CRobotDlg::OnStep);

    // Data analysis.
    auto* data_box = new QGroupBox(Tr(zh, "Data analysis", "数据分析"), this);
    auto* da = new QGridLayout(data_box);
    da->addWidget(label(Tr(zh, "time(s)", "时间(秒)")), 0, 0);
    da->addWidget(small_edit(kSecondsEdit), 0, 1);
    auto* record = Make<QPushButton>(kExportButton, Tr(zh, "Export", "导出"));
    da->addWidget(record, 0, 2);
    da->addWidget(label(Tr(zh, "file:rows", "文件:行数")), 1, 0);
    auto* file = Make<QLineEdit>(kFileEdit);
    da->addWidget(file, 1, 1, 1, 2);
    auto* rows = Make<QLineEdit>(kRowsEdit);
    rows->setReadOnly(true);
    rows->setMaximumWidth(80);
    da->addWidget(rows, 1, 3);
    auto* empty = Make<QPushButton>(kEmptyButton, Tr(zh, "Empty", "清空"));
    da->addWidget(empty, 0, 3);
    ForwardToPage(record, &QPushButton::clicked, &CRobotDlg::OnExport);
    ForwardToPage(empty, &QPushButton::clicked, &CRobotDlg::OnEmpty);

    // Page: chart and its controls on the left, feedback on the right, the groups below.
    auto* top = new QHBoxLayout;
    auto* chart_column = new QVBoxLayout;
    chart_column->addWidget(chart_, 1);
    chart_column->addLayout(checks);
    chart_column->addLayout(axis);
    top->addLayout(chart_column, 1);
    top->addWidget(feedback);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(auto_box);
    bottom->addWidget(data_box);
    auto* page = new QVBoxLayout(this);
    page->addLayout(top, 1);
    page->addWidget(motion);
    page->addLayout(bottom);

    // Ctrl+S reveals the hidden graph channels; the key is watched on its way to the control
    // with the focus, which then handles it as usual.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

void CRobotDlgWidget::GoalSliderAction() {
    if (page_) page_->OnGoalSliderScroll();
}

bool CRobotDlgWidget::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A key the focused control leaves unhandled passes this page's filters again on
        // its way up; it counts once, until a key is released.
        if (event != ctrl_s_seen_ && key->key() == Qt::Key_S &&
            (key->modifiers() & Qt::ControlModifier)) {
            ctrl_s_seen_ = event;
            if (page_) page_->OnCtrlS();
        }
    } else if (event->type() == QEvent::KeyRelease) {
        ctrl_s_seen_ = nullptr;
    }
    return false;  // the key goes on to its normal handling
}

QWidget* CRobotDlgWidget::Control(int id) const { return controls_.Find(id); }

void CRobotDlgWidget::SetText(int control, const std::string& text) {
    controls_.SetText(control, text);
}

std::string CRobotDlgWidget::Text(int control) const { return controls_.Text(control); }

void CRobotDlgWidget::SetTextLimit(int control, int characters) {
    controls_.SetTextLimit(control, characters);
}

void CRobotDlgWidget::Enable(int control, bool enabled) { controls_.Enable(control, enabled); }

void CRobotDlgWidget::Show(int control, bool visible) { controls_.Show(control, visible); }

void CRobotDlgWidget::Check(int control, bool checked) { controls_.Check(control, checked); }

bool CRobotDlgWidget::IsChecked(int control) const { return controls_.IsChecked(control); }

void CRobotDlgWidget::SetSliderRange(int control, int minimum, int maximum) {
    if (auto* s = qobject_cast<QSlider*>(Control(control))) {
        const QSignalBlocker block(s);
        s->setRange(minimum, maximum);
    }
}

void CRobotDlgWidget::SetSliderPos(int control, int position) {
    if (auto* s = qobject_cast<QSlider*>(Control(control))) {
        const QSignalBlocker block(s);
        s->setValue(position);
    }
}

int CRobotDlgWidget::SliderPos(int control) const {
    auto* s = qobject_cast<QSlider*>(Control(control));
    return s ? s->value() : 0;
}

void CRobotDlgWidget::StartTimer(int id, int interval_ms) { timers_.Start(id, interval_ms); }

void CRobotDlgWidget::KillTimer(int id) { timers_.Kill(id); }

void CRobotDlgWidget::ShowError(const std::string& caption, const std::string& text) {
    // Not modal to the poll: samples keep arriving while the box is open.
    auto* box = new QMessageBox(QMessageBox::Critical, Q(caption), Q(text), QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
