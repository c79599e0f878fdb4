#include "app/main_window_widget.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/bus_monitor_widget.h"
#include "app/window_geometry.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_widget.h"
#include "pages/programming/servo_pg.h"
#include "pages/programming/servo_pg_widget.h"
#include "pages/pwm/servo_pwm.h"
#include "pages/pwm/servo_pwm_widget.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_widget.h"
#include "platform/settings_store.h"
#include "transport/cqv_comm.h"
#include "transport/transfer_log.h"

MainWindow::MainWindow(const MainWindowParts& p) : comm_(p.comm) {
    log_ = std::make_unique<TransferLog>();
    log_->Attach(p.comm);
    widget_ = std::make_unique<ServoMainWidget>(p.strings);
    logic_ = std::make_unique<CServoMain>(*widget_, p.ui, p.strings);
    debug_ = std::make_unique<CRobotDlg>(p.setup, p.modbus, p.tervion, p.lock, p.chinese, p.ui);
    programming_ =
        std::make_unique<CServoPG>(p.setup, p.lock, p.modbus, p.tervion, *logic_, p.chinese, p.ui);
    upgrade_ = std::make_unique<CServoTest>(p.modbus, p.tervion, p.setup, p.lock, p.chinese, p.ui);
    pwm_ = std::make_unique<CServoPwm>(p.tervion, p.lock, p.chinese);
    debug_widget_ = std::make_unique<CRobotDlgWidget>(*debug_, p.chinese);
    programming_widget_ = std::make_unique<CServoPGWidget>(*programming_);
    upgrade_widget_ = std::make_unique<CServoTestWidget>(*upgrade_, p.chinese);
    pwm_widget_ = std::make_unique<CServoPwmWidget>(*pwm_, p.chinese);

    widget_->SetPage(CServoMain::kTabDebug, debug_widget_.get());
    widget_->SetPage(CServoMain::kTabProgramming, programming_widget_.get());
    widget_->SetPage(CServoMain::kTabUpgrade, upgrade_widget_.get());
    widget_->SetPage(CServoMain::kTabPwm, pwm_widget_.get());
    monitor_ = new BusMonitorWidget(*log_, p.chinese);
    widget_->SetBottomPane(monitor_, p.chinese);
    logic_->Wire({debug_.get(), programming_.get(), upgrade_.get(), pwm_.get()},
                 {&p.setup, &p.tervion, &p.modbus, &p.lock}, p.chinese);
    widget_->SetLogic(logic_.get());
    widget_->resize(kDefaultWidth, kDefaultHeight);
}

MainWindow::~MainWindow() {
    if (logic_) logic_->Shutdown();  // the search worker is joined first
    if (debug_) {
        debug_->StopPolling();  // no poll result lands on a view that is going away
        debug_->AttachView(nullptr);
    }
    if (widget_) widget_->SetLogic(nullptr);  // tab changes while the tabs go are not forwarded
    logic_.reset();                           // calls it posted earlier now find it gone
    widget_.reset();  // deletes the page widgets it holds in its tabs, and the monitor
    (void)debug_widget_.release();
    (void)programming_widget_.release();
    (void)upgrade_widget_.release();
    (void)pwm_widget_.release();
    debug_.reset();
    programming_.reset();
    upgrade_.reset();
    pwm_.reset();
    // Every page and worker that used the port is gone: nothing records into the log now.
    comm_.TransferObserver = nullptr;
}

void MainWindow::RestoreGeometry(const SettingsStore& settings) {
    std::vector<WindowRect> screens;
    QScreen* primary = QGuiApplication::primaryScreen();
    for (QScreen* s : QGuiApplication::screens()) {
        const QRect a = s->availableGeometry();
        const WindowRect r{a.x(), a.y(), a.width(), a.height()};
        if (s == primary)
            screens.insert(screens.begin(), r);
        else
            screens.push_back(r);
    }
    std::optional<WindowRect> saved;
    if (const auto text = settings.Read(kWindowGeometryKey)) saved = ParseWindowRect(*text);
    const WindowRect r = PlaceWindow(saved, screens, kDefaultWidth, kDefaultHeight);
    widget_->setGeometry(r.x, r.y, r.width, r.height);
}

void MainWindow::SaveGeometry(SettingsStore& settings) const {
    const QRect g = widget_->geometry();
    settings.Write(kWindowGeometryKey, FormatWindowRect({g.x(), g.y(), g.width(), g.height()}));
}
