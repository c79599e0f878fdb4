// The Upgrade page's boot-loader exchange: the device is made to start its boot loader,
// the port switched to the loader's speed, a short handshake, then the image in numbered
// 64-byte blocks with a CRC-16, each acknowledged by one byte. The worker holds the bus
// lock from the first request to the restored port, so nothing else talks in between.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "modbus/modbus.h"
#include "pages/upgrade/servo_test.h"
#include "pages/upgrade/servo_test_view.h"
#include "protocol/tervion.h"
#include "transport/cqv_comm.h"

namespace {
constexpr int kAck = 6;
constexpr int kNak = 21;
constexpr uint8_t kStartByte = 0x01;
constexpr uint8_t kBroadcast = 0xFE;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The access codes the boot loaders expect, put together when needed rather than kept
// as one literal.
std::string AccessCode(bool open_device) {
    const char a[] = {'V', 'X', 'B', 'L', '\0'};
    return std::string(a) + (open_device ? '7' : '5');
}
}  // namespace

std::string CServoTest::Handshake() const { return AccessCode(open_flag_ != 0); }

int CServoTest::EnterBootLoader() {
    CQVComm& comm = *tervion_.Comm;
    int previous = 0;
    if (open_flag_) {
        // An open device is reset into its loader by the adapter's line controls; its
        // loader announces itself with "C".
        previous = comm.SetBaud(kBootBaud, 0);
        comm.ClearDtr(true);
        comm.ClearRts(false);
        SleepMs(100);
        comm.ClearDtr(false);
        comm.ClearRts(true);
        comm.SetTimeout(50);
        comm.PurgeReceive();
        for (int k = 0; k < 20; ++k) {
            uint8_t byte = 0;
            if (comm.ReadBytes(&byte, 1) == 1 && byte == 'C') break;
        }
    } else {
        int baud = kBootBaud;
        if (device_kind_ == kDevicePwm) {
            tervion_.StartUpgrade(kBroadcast);
            baud = comm.BaudRate.load();
        } else if (device_kind_ == kDeviceModbus) {
            modbus_.Restart(static_cast<uint8_t>(upgrade_id_));
            SleepMs(15);
        } else {
            tervion_.Restart(static_cast<uint8_t>(upgrade_id_));
            SleepMs(15);
        }
        previous = comm.SetBaud(baud, 0);
        SleepMs(100);
    }
    comm.SetTimeout(500);
    return previous;
}

int CServoTest::SendAndAwait(int n, const uint8_t* bytes) {
    if (device_kind_ == kDevicePwm && !open_flag_) {
        // The PWM family's loader answers through the servo protocol's transport with a
        // 7-byte packet whose second byte is the verdict.
        uint8_t reply[7];
        tervion_.FlushReceive();
        tervion_.WriteRaw(bytes, n);
        tervion_.FlushTransmit();
        return tervion_.ReadRaw(reply, 7) == 7 ? reply[1] : -1;
    }
    CQVComm& comm = *tervion_.Comm;
    comm.PurgeReceive();
    comm.WriteBytes(bytes, n);
    uint8_t byte = 0;
    return comm.ReadBytes(&byte, 1) == 1 ? byte : -1;
}

int CServoTest::BuildBlock(uint8_t* packet, int i) const {
    if (i < 1 || static_cast<uint32_t>(i) > block_count_) return -1;
    const auto number = static_cast<uint8_t>(i & 0xFF);
    packet[0] = number;
    packet[1] = static_cast<uint8_t>(~number);
    packet[2] = static_cast<uint8_t>(raw_flag_);
    // The image buffer is all 0xFF beyond the image, and no image passes its capacity.
    const size_t from = static_cast<size_t>(i - 1) * FirmwareImage::kBlockBytes;
    std::memcpy(packet + 3, image_.data.data() + from, FirmwareImage::kBlockBytes);
    const uint16_t crc = open_flag_ ? crc_.Compute(packet + 3, 64) : crc_.Compute(packet, 64);
    packet[67] = static_cast<uint8_t>(crc >> 8);
    packet[68] = static_cast<uint8_t>(crc & 0xFF);
    packet[69] = static_cast<uint32_t>(i) == block_count_ ? 4 : 6;
    return 0;
}

void CServoTest::ProgressStep(int position) {
    PostToUi([position](ServoTestView& v) { v.SetProgressPos(position); });
}

bool CServoTest::UpgradeFirmware(const std::string& handshake) {
    CQVComm& comm = *tervion_.Comm;
    std::lock_guard line(bus_lock_);
    progress_pos_ = 0;
    ProgressStep(0);
    // Bus and Modbus devices are restarted by their id; without a selected servo the
    // restart would go to an id nobody has.
    const bool addressed = open_flag_ || device_kind_ == kDevicePwm;
    if (!addressed && (upgrade_id_ < 0 || upgrade_id_ > 253)) return false;
    const int previous_baud = EnterBootLoader();
    // The speed change above kept the parity the port had before it.
    const int previous_parity = comm.SavedParity;

    bool ok = true;
    if (!(device_kind_ == kDevicePwm && !open_flag_)) {
        ok = SendAndAwait(static_cast<int>(handshake.size()),
                          reinterpret_cast<const uint8_t*>(handshake.data())) >= 0;
    }
    if (ok) ok = SendAndAwait(1, &kStartByte) >= 0;
    uint8_t packet[kBlockPacketBytes];
    int repeats = 0;
    for (uint32_t i = 1; ok && i <= block_count_;) {
        if (abort_.load()) {
            ok = false;
            break;
        }
        BuildBlock(packet, static_cast<int>(i));
        const int reply = SendAndAwait(kBlockPacketBytes, packet);
        if (reply == kAck) {
            ProgressStep(++progress_pos_);
            repeats = 0;
            ++i;
        } else if (reply == kNak && repeats < kMaxRepeats) {
            ++repeats;
        } else {
            ok = false;
        }
    }
    comm.SetBaud(previous_baud, previous_parity);
    return ok;
}

void CServoTest::UpgradeFailed() {
    if (view_)
        view_->ShowMessage(Text("Firmware upgrade", "固件升级"),
                           Text("Firmware upgrade failed", "固件升级失败"), true);
}

void CServoTest::OnUpgrade() {
    // Without an image the servo would be left in its boot loader with nothing sent.
    if (image_.length == 0) return;
    if (upgrading_.exchange(true)) return;
    JoinUpgradeWorker();
    if (view_) view_->Enable(kUpgradeButton, false);
    {
        std::lock_guard g(test_mutex_);
        upgrade_id_ = selection_.id;
    }
    const std::string handshake = Handshake();
    upgrade_worker_ = std::thread([this, handshake] {
        const bool ok = UpgradeFirmware(handshake);
        const bool aborted = abort_.load();
        PostToUi([this, ok, aborted](ServoTestView& v) {
            if (!ok && !aborted) UpgradeFailed();
            v.Enable(kUpgradeButton, true);
            v.UpgradeEnded(ok);
        });
        upgrading_ = false;
    });
}

void CServoTest::JoinUpgradeWorker() {
    if (upgrade_worker_.joinable()) upgrade_worker_.join();
}
