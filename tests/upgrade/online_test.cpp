// Online firmware detection against a real update server on 127.0.0.1.
#include <cstdlib>
#include <ctime>

#include "tests/support/raw_http_server.h"
#include "tools/server/update_server.h"
#include "upgrade_fixture.h"

using namespace upgrade_test;

namespace {

class Online : public ::testing::Test, protected PageObjects {
  protected:
    void SetUp() override {
        ASSERT_TRUE(server_.Start("127.0.0.1", 0));
        setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(server_.port())).c_str(), 1);
        const char* tz = std::getenv("TZ");
        old_tz_ = tz ? tz : "";
        had_tz_ = tz != nullptr;
        setenv("TZ", "CST-8", 1);  // UTC+8
        tzset();
        page_.InitDialog(&view_);
    }
    void TearDown() override {
        server_.Stop();
        unsetenv("VEXA_UPDATE_SERVER");
        if (had_tz_)
            setenv("TZ", old_tz_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    // The sample model 4.0 with firmware 3.6, listed as "VX40".
    void Select(uint8_t model_major = 4, uint8_t model_minor = 0) {
        const ServoInfo record{3, 6, 0, model_major, model_minor, 1, 0, 0, 1};
        page_.SetServo(1, FoundList(record), 0, "VX40");
    }
    void Publish(const std::string& model, const std::string& name, size_t size) {
        root_.Put("firmware/" + model + "/" + name,
                  std::string(reinterpret_cast<const char*>(Pattern(size).data()), size));
    }

    TestFolder root_;
    UpdateServer server_{root_.path()};
    std::string old_tz_;
    bool had_tz_ = false;
    CServoTest page_{modbus, tervion, setup, lock, false, ui_};
};

}  // namespace

TEST_F(Online, DetectionLoadsTheImageAndReportsItsOrigin) {
    Publish("4.0", "servo.xbin.bak", 1000);
    root_.Put("manifest.txt",
              "[4.0]\nbanben=3.11\nxinghao=4.0 standard\ncreatedDate=1577836800000\n");
    Select();
    page_.OnOnline();
    EXPECT_EQ(view_.text[kFirmwareLogEdit],
              "Model:4.0 standard [VX40]\r\nVersion:3.6-->3.11\r\nFile:servo.xbin.bak\r\n"
              "Upload:2020-1-1 8:0:0\r\n");
    EXPECT_EQ(view_.boxes,
              (std::vector<std::string>{"info Online detection: Online detection successful!"}));
    EXPECT_EQ(page_.image().length, 1000u);
    EXPECT_EQ(std::vector<uint8_t>(page_.image().data.begin(), page_.image().data.begin() + 1000),
              Pattern(1000));
    EXPECT_EQ(page_.image().data[1000], 0xFF);
    EXPECT_EQ(page_.open_flag(), 1) << "xbin anywhere in the name";
    EXPECT_EQ(page_.raw_flag(), 1);
    EXPECT_EQ(page_.block_count(), 16);
    EXPECT_EQ(view_.range, std::make_pair(0, 16));
    EXPECT_TRUE(view_.enabled[kUpgradeButton]);

    // A newer Modbus image: kind 2, no open device.
    Publish("4.0", "servo_v2.mbin", 64);
    root_.Touch("firmware/4.0/servo_v2.mbin", 1900000000000LL);
    page_.OnOnline();
    EXPECT_EQ(page_.device_kind(), 2);
    EXPECT_EQ(page_.open_flag(), 0);
    EXPECT_EQ(page_.block_count(), 1);
}

TEST_F(Online, RefusalsDisableUpgradeAndSayWhy) {
    // No servo: only the log line; "Upgrade" stays as it was.
    view_.enabled[kUpgradeButton] = true;
    page_.OnOnline();
    EXPECT_EQ(view_.text[kFirmwareLogEdit], "Please select the servo!");
    EXPECT_TRUE(view_.enabled[kUpgradeButton]);
    EXPECT_TRUE(view_.boxes.empty());

    // Nothing stored for the model.
    Select();
    page_.OnOnline();
    EXPECT_EQ(view_.text[kFirmwareLogEdit],
              "Model:4.0 [VX40]\r\nVersion:No firmware detected!\r\n");
    EXPECT_EQ(view_.boxes.back(), "error Online detection: No firmware detected!");
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);

    // A firmware larger than an image holds, an empty one, a HEX file that is not Intel
    // HEX: each refused with its reason, the image loaded before kept.
    Publish("4.0", "fw.bin", 100);
    page_.OnOnline();
    ASSERT_EQ(page_.image().length, 100u);
    struct Case {
        const char* name;
        std::string bytes;
        const char* log;
        const char* box;
    };
    long long when = 1900000000000LL;
    for (const Case& c :
         {Case{"huge.bin", std::string(131073, 'x'), "The firmware is larger than 131072 bytes!",
               "The firmware is larger than 131072 bytes!"},
          Case{"empty.bin", "", "Model:4.0 [VX40]\r\nVersion:No firmware detected!\r\n",
               "No firmware detected!"},
          Case{"bad.HEX", ":0400000001020304F3\n", "The firmware file is not valid Intel HEX!",
               "The firmware file is not valid Intel HEX!"}}) {
        root_.Put(std::string("firmware/4.0/") + c.name, c.bytes, when += 1000);
        view_.enabled[kUpgradeButton] = true;
        page_.OnOnline();
        EXPECT_FALSE(view_.enabled[kUpgradeButton]) << c.name;
        EXPECT_EQ(view_.text[kFirmwareLogEdit], c.log) << c.name;
        EXPECT_EQ(view_.boxes.back(), std::string("error Online detection: ") + c.box);
        EXPECT_EQ(page_.image().length, 100u) << c.name;
        EXPECT_EQ(page_.image().data[99], Pattern(100)[99]) << c.name;
    }

    // No server.
    server_.Stop();
    page_.OnOnline();
    EXPECT_EQ(view_.text[kFirmwareLogEdit], "Server no returned!");
    EXPECT_EQ(view_.boxes.back(), "error Online detection: Server no returned!");
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
}

TEST_F(Online, AHexDownloadGoesTheWayOfTheSelectedServo) {
    // Stored as Intel HEX for a Modbus servo: read as HEX (not raw bytes) and sent the
    // Modbus way; the name's letter case does not matter.
    root_.Put("firmware/8.5/FW.HEX", ":0400000001020304F2\r\n:00000001FF\r\n");
    const ServoInfo modbus{2, 10, 1, 8, 5, 6, 0, 0, 1};
    page_.SetServo(6, FoundList(modbus, kKindModbus), 0, "VXM8");
    page_.OnOnline();
    EXPECT_EQ(view_.boxes.back(), "info Online detection: Online detection successful!");
    EXPECT_EQ(page_.image().length, 4u);
    EXPECT_EQ(page_.image().data[0], 0x01);
    EXPECT_EQ(page_.image().data[3], 0x04);
    EXPECT_EQ(page_.raw_flag(), 0);
    EXPECT_EQ(page_.device_kind(), 2);
    root_.Put("firmware/8.5/B.MBIN", "ab", 1900000000000LL);
    page_.OnOnline();
    EXPECT_EQ(page_.device_kind(), 2) << "mbin in capitals";
    EXPECT_EQ(page_.raw_flag(), 1);
}

TEST_F(Online, AReplyWithoutDataFindsNothing) {
    // A server that answers {"code":0}: no "data" is "data" null, not an empty firmware.
    RawHttpServer raw([](int fd, const std::string&, const std::atomic<bool>&) {
        RawHttpServer::Send(fd, "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n{\"code\":0}");
    });
    setenv("VEXA_UPDATE_SERVER", ("127.0.0.1:" + std::to_string(raw.port())).c_str(), 1);
    Select();
    view_.enabled[kUpgradeButton] = true;
    page_.OnOnline();
    EXPECT_EQ(view_.text[kFirmwareLogEdit],
              "Model:4.0 [VX40]\r\nVersion:No firmware detected!\r\n");
    EXPECT_EQ(view_.boxes.back(), "error Online detection: No firmware detected!");
    EXPECT_FALSE(view_.enabled[kUpgradeButton]);
}

TEST_F(Online, ChineseTexts) {
    CServoTest page(modbus, tervion, setup, lock, true, ui_);
    FakeView view;
    page.InitDialog(&view);
    EXPECT_EQ(view.text[kTestButton], "测试");
    page.OnOnline();
    EXPECT_EQ(view.text[kFirmwareLogEdit], "请选择相应舵机!");
    const ServoInfo record{3, 6, 0, 4, 0, 1, 0, 0, 1};
    page.SetServo(1, FoundList(record), 0, "VX40");
    page.OnOnline();
    EXPECT_EQ(view.text[kFirmwareLogEdit],
              "舵机型号:4.0 [VX40]\r\n固件版本:没有检测到升级固件!\r\n");
    EXPECT_EQ(view.boxes.back(), "error 在线检测: 没有检测到升级固件!");
}
