// Vexa: the start-up sequence, then the main window until it is closed.
//   Vexa [--port PATH]     PATH (or $VEXA_PORT) is offered first in the port list
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "app/qt_dispatcher_widget.h"
#include "app/servo_main.h"
#include "app/servo_main_widget.h"
#include "app/servo_pc_app.h"
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_widget.h"
#include "pages/programming/servo_pg.h"
#include "pages/programming/servo_pg_widget.h"
#include "pages/pwm/servo_pwm.h"
#include "pages/pwm/servo_pwm_widget.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_widget.h"
#include "platform/settings_store.h"

namespace {

// The main window with its pages; torn down in an order that leaves no thread or posted
// call with a dangling view.
struct MainWindow {
    std::unique_ptr<ServoMainWidget> widget;
    std::unique_ptr<CServoMain> logic;
    std::unique_ptr<CRobotDlg> debug;
    std::unique_ptr<CServoPG> programming;
    std::unique_ptr<CServoTest> upgrade;
    std::unique_ptr<CServoPwm> pwm;
    std::unique_ptr<CRobotDlgWidget> debug_widget;
    std::unique_ptr<CServoPGWidget> programming_widget;
    std::unique_ptr<CServoTestWidget> upgrade_widget;
    std::unique_ptr<CServoPwmWidget> pwm_widget;

    ~MainWindow() {
        if (logic) logic->Shutdown();  // the search worker is joined first
        if (debug) {
            debug->StopPolling();  // no poll result lands on a view that is going away
            debug->AttachView(nullptr);
        }
        if (widget) widget->SetLogic(nullptr);  // tab changes while the tabs go are not forwarded
        logic.reset();                          // calls it posted earlier now find it gone
        widget.reset();                         // deletes the page widgets it holds in its tabs
        (void)debug_widget.release();
        (void)programming_widget.release();
        (void)upgrade_widget.release();
        (void)pwm_widget.release();
        debug.reset();
        programming.reset();
        upgrade.reset();
        pwm.reset();
    }
};

std::string PreferredPort(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) return argv[i + 1];
        if (std::strncmp(argv[i], "--port=", 7) == 0) return argv[i] + 7;
    }
    const char* env = std::getenv("VEXA_PORT");
    return env != nullptr ? env : "";
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(":/vexa.png"));
    const std::string preferred_port = PreferredPort(argc, argv);
    QtUiDispatcher ui;
    std::unique_ptr<MainWindow> window;

    StartupHooks hooks = StartupHooks::System();
    hooks.show_message = [](const std::string& text, const std::string& caption, MessageIcon icon) {
        QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Warning,
                        QString::fromStdString(caption), QString::fromStdString(text));
        box.exec();
    };
    hooks.create_main_window = [&](CServoPCApp& pc) {
        window = std::make_unique<MainWindow>();
        MainWindow& w = *window;
        w.widget = std::make_unique<ServoMainWidget>(pc.strings());
        w.logic = std::make_unique<CServoMain>(*w.widget, ui, pc.strings());
        w.debug = std::make_unique<CRobotDlg>(pc.setup(), pc.modbus(), pc.tervion(), pc.bus_lock(),
                                              pc.chinese(), ui);
        w.programming = std::make_unique<CServoPG>(pc.setup(), pc.bus_lock(), pc.modbus(),
                                                   pc.tervion(), *w.logic, pc.chinese(), ui);
        w.upgrade = std::make_unique<CServoTest>(pc.modbus(), pc.tervion(), pc.setup(),
                                                 pc.bus_lock(), pc.chinese(), ui);
        w.pwm = std::make_unique<CServoPwm>(pc.tervion(), pc.bus_lock(), pc.chinese());
        w.debug_widget = std::make_unique<CRobotDlgWidget>(*w.debug, pc.chinese());
        w.programming_widget = std::make_unique<CServoPGWidget>(*w.programming);
        w.upgrade_widget = std::make_unique<CServoTestWidget>(*w.upgrade, pc.chinese());
        w.pwm_widget = std::make_unique<CServoPwmWidget>(*w.pwm, pc.chinese());

        w.widget->SetPage(CServoMain::kTabDebug, w.debug_widget.get());
        w.widget->SetPage(CServoMain::kTabProgramming, w.programming_widget.get());
        w.widget->SetPage(CServoMain::kTabUpgrade, w.upgrade_widget.get());
        w.widget->SetPage(CServoMain::kTabPwm, w.pwm_widget.get());
        w.logic->Wire({w.debug.get(), w.programming.get(), w.upgrade.get(), w.pwm.get()},
                      {&pc.setup(), &pc.tervion(), &pc.modbus(), &pc.bus_lock()}, pc.chinese());
        w.logic->SetPreferredPort(preferred_port);
        w.widget->SetLogic(w.logic.get());
        w.logic->OnInitDialog();
        w.widget->show();
        return true;
    };

    CServoPCApp pc(hooks, SettingsStore::DefaultFolder());
    if (!pc.InitInstance()) return 1;
    const int rc = app.exec();
    window.reset();
    return rc;
}
