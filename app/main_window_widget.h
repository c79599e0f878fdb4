#pragma once
// The main window with its four pages and the bus monitor, wired to the shared bus objects
// as start-up creates them; torn down in an order that leaves no thread or posted call with
// a dangling view. The program and the window tests build it the same way.
#include <memory>

#include "app/servo_main.h"
#include "app/servo_main_widget.h"
#include "platform/bus_lock.h"

class BusMonitorWidget;
class CQVComm;
class CRobotDlg;
class CRobotDlgWidget;
class CServoPG;
class CServoPGWidget;
class CServoPwm;
class CServoPwmWidget;
class CServoTest;
class CServoTestWidget;
class Modbus;
class ServoSetup;
class SettingsStore;
class StringTable;
class Tervion;
class TransferLog;
class UiDispatcher;

struct MainWindowParts {
    const StringTable& strings;
    ServoSetup& setup;
    Tervion& tervion;
    Modbus& modbus;
    BusLock& lock;
    CQVComm& comm;
    UiDispatcher& ui;
    bool chinese = false;
};

class MainWindow {
  public:
    // The size the window opens at when no remembered place fits the screens.
    static constexpr int kDefaultWidth = 1120;
    static constexpr int kDefaultHeight = 700;

    // Creates and wires everything and runs the main window's initialisation; the port's
    // transfers go to the bus monitor's log from here on.
    explicit MainWindow(const MainWindowParts& parts);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Size and position from the settings (or the default on the primary screen), and back.
    void RestoreGeometry(const SettingsStore& settings);
    void SaveGeometry(SettingsStore& settings) const;

    ServoMainWidget& widget() { return *widget_; }
    CServoMain& logic() { return *logic_; }
    CRobotDlg& debug() { return *debug_; }
    CRobotDlgWidget& debug_widget() { return *debug_widget_; }
    CServoPGWidget& programming_widget() { return *programming_widget_; }
    CServoTestWidget& upgrade_widget() { return *upgrade_widget_; }
    CServoPwmWidget& pwm_widget() { return *pwm_widget_; }
    BusMonitorWidget& monitor() { return *monitor_; }

  private:
    CQVComm& comm_;
    std::unique_ptr<TransferLog> log_;
    std::unique_ptr<ServoMainWidget> widget_;
    std::unique_ptr<CServoMain> logic_;
    std::unique_ptr<CRobotDlg> debug_;
    std::unique_ptr<CServoPG> programming_;
    std::unique_ptr<CServoTest> upgrade_;
    std::unique_ptr<CServoPwm> pwm_;
    std::unique_ptr<CRobotDlgWidget> debug_widget_;
    std::unique_ptr<CServoPGWidget> programming_widget_;
    std::unique_ptr<CServoTestWidget> upgrade_widget_;
    std::unique_ptr<CServoPwmWidget> pwm_widget_;
    BusMonitorWidget* monitor_ = nullptr;  // owned by widget_
};
