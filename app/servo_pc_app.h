#pragma once
// Start-up of Vexa: the interface language, the version check and its warning, the shared
// bus objects, the setup-file refresh and its fatal error, then the main window. The
// objects are created here once and handed to whoever needs them; they live as long as
// this object (the whole run of the program).
#include <functional>
#include <memory>
#include <string>

#include "app/servo_main_view.h"
#include "platform/bus_lock.h"

class CQVComm;
class Modbus;
class ServoSetup;
class SettingsStore;
class StringTable;
class Tervion;
class CServoPCApp;

// What start-up asks of the system and of the windowing toolkit; tests replace them.
struct StartupHooks {
    std::function<bool()> user_is_chinese;
    std::function<int(const SettingsStore&)> check_version;
    std::function<bool(ServoSetup&)> refresh_setup;
    // A message box without owner (no window exists yet).
    std::function<void(const std::string& text, const std::string& caption, MessageIcon)>
        show_message;
    // Creates the main window and its pages from the shared objects; false ends start-up.
    std::function<bool(CServoPCApp&)> create_main_window;

    // The real language, version check and refresh; no message box and no window.
    static StartupHooks System();
};

class CServoPCApp {
  public:
    // settings_folder: where the "Software\Vexa\" values live.
    CServoPCApp(StartupHooks hooks, std::string settings_folder);
    ~CServoPCApp();
    CServoPCApp(const CServoPCApp&) = delete;
    CServoPCApp& operator=(const CServoPCApp&) = delete;

    // The start-up sequence; false when the program must end without a window.
    bool InitInstance();

    bool chinese() const { return chinese_; }
    const StringTable& strings() const { return *strings_; }
    CQVComm& comm() { return *comm_; }
    Tervion& tervion() { return *tervion_; }
    Modbus& modbus() { return *modbus_; }
    ServoSetup& setup() { return *setup_; }
    BusLock& bus_lock() { return *bus_lock_; }
    SettingsStore& settings() { return *settings_; }

  private:
    StartupHooks hooks_;
    std::string settings_folder_;
    bool chinese_ = false;
    std::unique_ptr<StringTable> strings_;
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<BusLock> bus_lock_;
    std::unique_ptr<ServoSetup> setup_;
    std::unique_ptr<Tervion> tervion_;
    std::unique_ptr<Modbus> modbus_;
    std::unique_ptr<CQVComm> comm_;
};
