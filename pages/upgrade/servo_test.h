#pragma once
// The Upgrade page: the communication test (reply time, time-outs and speed of every found
// servo of the selected model, on a worker thread), the firmware image (Intel HEX or raw
// files, or a download from the update server) and the boot-loader exchange that sends it,
// on a worker that owns the line from entering the boot loader until the port is restored.
// Reaches the screen only through ServoTestView; workers post to it through UiDispatcher.
//
// Split over servo_test.cpp (selection, communication test), servo_test_firmware.cpp
// (Open, keys, online detection) and servo_test_upgrade.cpp (the exchange).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"
#include "pages/upgrade/crc16_engine.h"
#include "pages/upgrade/firmware_image.h"
#include "platform/bus_lock.h"

class CQVComm;
class Modbus;
class ServoSetup;
class ServoTestView;
class Tervion;
class UiDispatcher;

class CServoTest : public UpgradePage {
  public:
    static constexpr int kDeviceBus = 0, kDevicePwm = 1, kDeviceModbus = 2;
    static constexpr int kBootBaud = 500000;
    static constexpr int kBlockPacketBytes = 70;
    // A block the device keeps refusing (21) is sent this many times more, then it fails.
    static constexpr int kMaxRepeats = 16;

    CServoTest(Modbus& modbus, Tervion& tervion, ServoSetup& setup, BusLock& bus_lock, bool chinese,
               UiDispatcher& ui);
    // Ends the test and any exchange (the port restored) and joins both workers.
    ~CServoTest() override;
    CServoTest(const CServoTest&) = delete;
    CServoTest& operator=(const CServoTest&) = delete;

    // Binds the screen, empties both edits and disables "Upgrade". The view must outlive
    // the page or be detached with AttachView(nullptr) after Shutdown.
    void InitDialog(ServoTestView* view);
    void AttachView(ServoTestView* view);

    // UpgradePage.
    void SetServo(int id, const ServoInfo* records, int index, int count, int kind,
                  const std::string& model_name) override;
    void StopTest() override;
    bool UpgradeRunning() const override { return upgrading_.load(); }
    void Shutdown() override;

    // User events forwarded by the view.
    void OnTest();
    void OnClear();
    void OnOpen();
    void OnKey(char key);  // B, M, R (either case); other keys do nothing
    void OnUpgrade();
    void OnOnline();

    // After this many passes the test worker stops by itself (0: until stopped).
    void SetPassLimit(int passes) { pass_limit_ = passes; }

    // One pass of the communication test over the current selection; the result text.
    std::string RunPass();

    // The exchange's steps, public for tests; the worker runs UpgradeFirmware.
    int EnterBootLoader();
    int SendAndAwait(int n, const uint8_t* bytes);
    int BuildBlock(uint8_t* packet, int i) const;
    bool UpgradeFirmware(const std::string& handshake);
    // The handshake text for the loaded image: open devices get their own code.
    std::string Handshake() const;

    // State, for the views and tests.
    bool running() const { return running_.load() != 0; }
    int timeout_count(int id) const;
    const FirmwareImage& image() const { return image_; }
    int block_count() const { return static_cast<int>(block_count_); }
    int raw_flag() const { return raw_flag_; }
    int open_flag() const { return open_flag_; }
    int device_kind() const { return device_kind_; }
    const std::string& filter() const { return filter_; }
    int servo_count() const;

  private:
    struct Selection {
        std::vector<ServoInfo> records;
        int index = -1;
        int count = 0;  // 0 when nothing is selected or the model has no debug row
        int kind = 0;
        int id = -1;
        DebugRow row{};
        std::string model_name;
    };

    int LookupRow(const ServoInfo& record, int kind, DebugRow& row);
    std::string RunPass(const Selection& s);
    void TestWorker();
    void JoinTestWorker();
    void JoinUpgradeWorker();
    void SetTestCaption(bool running);
    void LoadFile(const std::string& path);
    void ImageLoaded();
    void RefuseImage(const std::string& reason);
    void RefuseOnline(const std::string& log, const std::string& box);
    void ProgressStep(int position);
    void UpgradeFailed();
    // Runs fn on the user-interface thread unless the page is gone by then.
    void PostToUi(std::function<void(ServoTestView&)> fn);
    std::string Text(const char* english, const char* chinese) const;

    Modbus& modbus_;
    Tervion& tervion_;
    ServoSetup& setup_;
    BusLock& bus_lock_;
    bool chinese_;
    UiDispatcher& ui_;
    ServoTestView* view_ = nullptr;
    std::string stop_text_, test_text_, line_format_;

    // Communication test. The worker copies the selection once, when it starts;
    // `test_mutex_` also orders the worker's end against a new "Test".
    mutable std::mutex test_mutex_;
    Selection selection_;
    std::atomic<int> running_{0};
    bool worker_alive_ = false;  // under test_mutex_
    std::thread test_worker_;
    std::atomic<int> pass_limit_{0};
    mutable std::mutex counts_mutex_;
    std::array<int, 254> timeouts_{};

    // Firmware image and the exchange (the image is only changed while no exchange runs).
    FirmwareImage image_;
    uint32_t block_count_ = 0;
    int raw_flag_ = 0;
    int open_flag_ = 0;
    int device_kind_ = kDeviceBus;
    int key_kind_ = kDeviceBus;  // the last B, M or R key's: the kind for Intel HEX files
    std::string filter_;
    Crc16Engine crc_{0, 0, 0x1021, false};
    std::atomic<bool> upgrading_{false};
    std::atomic<bool> abort_{false};
    std::thread upgrade_worker_;
    // Selected servo for the exchange, copied when "Upgrade" is pressed.
    int upgrade_id_ = 0;
    std::atomic<int> progress_pos_{0};

    // Posted calls hold a weak reference; once the page is gone they do nothing.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};
