// The start-up sequence with its system calls and toolkit replaced by recording hooks.
#include "app/servo_pc_app.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "definitions/servo_setup.h"
#include "modbus/modbus.h"
#include "platform/string_table.h"
#include "protocol/tervion.h"
#include "tests/support/test_folder.h"
#include "transport/cqv_comm.h"

namespace {

using Calls = std::vector<std::string>;

struct Recorder {
    bool chinese = false;
    int version = 0;
    bool refresh = true;
    Calls calls;
    std::vector<std::pair<std::string, std::string>> messages;
    std::vector<MessageIcon> icons;
    bool wired = false;
    std::string main_file;

    StartupHooks Hooks() {
        StartupHooks h;
        h.user_is_chinese = [this] {
            calls.push_back("language");
            return chinese;
        };
        h.check_version = [this](const SettingsStore&) {
            calls.push_back("version");
            return version;
        };
        h.refresh_setup = [this](ServoSetup& setup) {
            calls.push_back("refresh");
            main_file = setup.MainName();
            return refresh;
        };
        h.show_message = [this](const std::string& text, const std::string& caption,
                                MessageIcon icon) {
            calls.push_back("message");
            messages.emplace_back(text, caption);
            icons.push_back(icon);
        };
        h.create_main_window = [this](CServoPCApp& app) {
            calls.push_back("window");
            wired = app.tervion().Comm == &app.comm() && app.modbus().Port == &app.comm();
            return true;
        };
        return h;
    }
};

TEST(Startup, NewerVersionWarnsOnceAndTheWindowStillOpens) {
    Recorder r;
    r.version = -4;
    TestFolder folder;
    CServoPCApp app(r.Hooks(), folder.path());
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(r.calls, (Calls{"language", "version", "message", "refresh", "window"}));
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].first, "New version detected,use VexaUpdate to download!");
    EXPECT_EQ(r.messages[0].second, "Version checking");
    EXPECT_EQ(r.icons[0], MessageIcon::kWarning);
    EXPECT_TRUE(r.wired);
    EXPECT_FALSE(app.chinese());
    EXPECT_EQ(r.main_file, "setup_en.log");
    EXPECT_EQ(app.strings().Get(154), "Search");
}

TEST(Startup, ChineseUserGetsChineseWarningAndFiles) {
    Recorder r;
    r.chinese = true;
    r.version = -4;
    TestFolder folder;
    CServoPCApp app(r.Hooks(), folder.path());
    EXPECT_TRUE(app.InitInstance());
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].first, "检测到新版本,请使用VexaUpdate下载!");
    EXPECT_EQ(r.messages[0].second, "版本检测");
    EXPECT_TRUE(app.chinese());
    EXPECT_EQ(r.main_file, "setup.log");
    EXPECT_EQ(app.setup().ModbusName(), "setup_modbus.log");
    EXPECT_EQ(app.strings().Get(154), "搜索");
}

TEST(Startup, OtherVersionResultsSayNothing) {
    for (int result : {0, -1, -2, -3, 1}) {
        Recorder r;
        r.version = result;
        TestFolder folder;
        CServoPCApp app(r.Hooks(), folder.path());
        EXPECT_TRUE(app.InitInstance());
        EXPECT_TRUE(r.messages.empty()) << result;
        EXPECT_EQ(r.calls, (Calls{"language", "version", "refresh", "window"})) << result;
    }
}

TEST(Startup, UnusableSetupFilesEndBeforeAnyWindow) {
    for (bool chinese : {false, true}) {
        Recorder r;
        r.chinese = chinese;
        r.refresh = false;
        TestFolder folder;
        CServoPCApp app(r.Hooks(), folder.path());
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(r.calls, (Calls{"language", "version", "refresh", "message"}));
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.icons[0], MessageIcon::kError);
        if (chinese) {
            EXPECT_EQ(r.messages[0].first, "无法导入舵机配置文件，请检查网络!");
            EXPECT_EQ(r.messages[0].second, "运行错误");
        } else {
            EXPECT_EQ(r.messages[0].first,
                      "Unable to import servo configuration file, please check the network!");
            EXPECT_EQ(r.messages[0].second, "Running error");
        }
    }
}

TEST(Startup, WindowCreationFailureIsAFailedStart) {
    Recorder r;
    StartupHooks h = r.Hooks();
    h.create_main_window = [](CServoPCApp&) { return false; };
    TestFolder folder;
    CServoPCApp app(h, folder.path());
    EXPECT_FALSE(app.InitInstance());
}

}  // namespace
