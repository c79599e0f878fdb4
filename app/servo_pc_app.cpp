#include "app/servo_pc_app.h"

#include "definitions/server_query.h"
#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/system.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

namespace {
constexpr int kNewerVersion = -4;
}

StartupHooks StartupHooks::System() {
    StartupHooks hooks;
    hooks.user_is_chinese = [] { return UserIsChinese(); };
    hooks.check_version = [](const SettingsStore& settings) { return CheckVersion(settings); };
    hooks.refresh_setup = [](ServoSetup& setup) { return setup.RefreshFromServer(); };
    hooks.show_message = [](const std::string&, const std::string&, MessageIcon) {};
    hooks.create_main_window = [](CServoPCApp&) { return false; };
    return hooks;
}

CServoPCApp::CServoPCApp(StartupHooks hooks, std::string settings_folder)
    : hooks_(std::move(hooks)), settings_folder_(std::move(settings_folder)) {}

CServoPCApp::~CServoPCApp() = default;

bool CServoPCApp::InitInstance() {
    chinese_ = hooks_.user_is_chinese();
    strings_ = std::make_unique<StringTable>(chinese_);
    settings_ = std::make_unique<SettingsStore>(settings_folder_);

    if (hooks_.check_version(*settings_) == kNewerVersion) {
        hooks_.show_message(PickText(chinese_, "New version detected,use VexaUpdate to download!",
                                     "检测到新版本,请使用VexaUpdate下载!"),
                            PickText(chinese_, "Version checking", "版本检测"),
                            MessageIcon::kWarning);
    }

    bus_lock_ = std::make_unique<BusLock>();
    setup_ = std::make_unique<ServoSetup>(*strings_, *settings_);
    tervion_ = std::make_unique<Tervion>();
    modbus_ = std::make_unique<Modbus>();
    comm_ = std::make_unique<CQVComm>();
    tervion_->Comm = comm_.get();
    modbus_->Port = comm_.get();

    if (!hooks_.refresh_setup(*setup_)) {
        hooks_.show_message(
            PickText(chinese_,
                     "Unable to import servo configuration file, please check the network!",
                     "无法导入舵机配置文件，请检查网络!"),
            PickText(chinese_, "Running error", "运行错误"), MessageIcon::kError);
        return false;
    }
    return hooks_.create_main_window(*this);
}
