#pragma once
// The Upgrade page: the communication test (CommunicationTest), the firmware image (Intel HEX or
// raw files, or a download from the update server) and the boot-loader exchange that sends it
// (BootExchange). The page owns the selection and the image, wires the two workers to the
// screen and reaches it only through ServoTestView; workers post to it through UiDispatcher.
//
// servo_test.cpp holds the selection, the test and the exchange's wiring;
// servo_test_firmware.cpp "Open", the device keys and online detection.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"
#include "pages/upgrade/boot_exchange.h"
#include "pages/upgrade/communication_test.h"
#include "pages/upgrade/firmware_image.h"
#include "platform/bus_lock.h"
#include "platform/ui_dispatcher.h"

class Modbus;
class ServoSetup;
class ServoTestView;
class Tervion;

class CServoTest : public UpgradePage {
  public:
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
    void SetServo(int id, std::span<const FoundServo> found, int index,
                  const std::string& model_name) override;
    void StopTest() override;
    bool UpgradeRunning() const override { return exchange_.running(); }
    void Shutdown() override;

    // User events forwarded by the view.
    void OnTest();
    void OnClear();
    void OnOpen();
    void OnKey(char key);  // B, M, R (either case); other keys do nothing
    void OnUpgrade();
    void OnOnline();

    // After this many passes the test worker stops by itself (0: until stopped).
    void SetPassLimit(int passes) { comm_test_.SetPassLimit(passes); }
    // One pass of the communication test over the current selection; the result text.
    std::string RunPass();

    // The packet of block i of the loaded image, and the handshake it would be sent after.
    int BuildBlock(uint8_t* packet, int i) const;
    std::string Handshake() const { return BootExchange::Handshake(open_flag_ != 0); }

    // State, for the views and tests.
    bool running() const { return comm_test_.running(); }
    int timeout_count(int id) const { return comm_test_.timeout_count(id); }
    const FirmwareImage& image() const { return image_; }
    int block_count() const { return static_cast<int>(image_.BlockCount()); }
    int raw_flag() const { return raw_flag_; }
    int open_flag() const { return open_flag_; }
    ServoKind device_kind() const { return device_kind_; }
    const std::string& filter() const { return filter_; }
    int servo_count() const;

  private:
    int LookupRow(const ServoInfo& record, ServoKind kind, DebugRow& row);
    void SetTestCaption(bool running);
    void LoadFile(const std::string& path);
    void ImageLoaded();
    void RefuseImage(const std::string& reason);
    void RefuseOnline(const std::string& log, const std::string& box);
    void UpgradeFailed();
    // Runs fn on the user-interface thread unless the page is gone by then.
    void PostToUi(std::function<void(ServoTestView&)> fn);

    ServoSetup& setup_;
    bool chinese_;
    // Declared before the workers, which post until they are joined; what is still queued
    // when the page is gone is dropped.
    UiPoster ui_;
    ServoTestView* view_ = nullptr;
    std::string stop_text_, test_text_;

    // The selection, set on the user-interface thread; the workers take copies.
    mutable std::mutex selection_mutex_;
    CommunicationTest::Selection selection_;

    // The image "Upgrade" sends and how (changed only while no exchange runs).
    FirmwareImage image_;
    int raw_flag_ = 0;
    int open_flag_ = 0;
    ServoKind device_kind_ = kKindServo;
    ServoKind key_kind_ = kKindServo;  // the last B, M or R key's: the kind for Intel HEX files
    std::string filter_;

    CommunicationTest comm_test_;
    BootExchange exchange_;
};
