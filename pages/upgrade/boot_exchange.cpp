#include "pages/upgrade/boot_exchange.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "modbus/modbus.h"
#include "pages/upgrade/crc16_engine.h"
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

BootExchange::BootExchange(Modbus& modbus, Tervion& tervion, BusLock& bus_lock, Events events)
    : modbus_(modbus), tervion_(tervion), bus_lock_(bus_lock), events_(std::move(events)) {}

BootExchange::~BootExchange() { Abort(); }

bool BootExchange::Start(ExchangeJob job) {
    if (running_.exchange(true)) return false;
    if (worker_.joinable()) worker_.join();
    job_ = std::move(job);
    worker_ = std::thread([this] {
        const bool ok = UpgradeFirmware();
        const bool aborted = abort_.load();
        events_.ended(ok, aborted);
        running_ = false;
    });
    return true;
}

void BootExchange::Abort() {
    abort_ = true;
    if (worker_.joinable()) worker_.join();
    abort_ = false;
}

std::string BootExchange::Handshake(bool open_device) { return AccessCode(open_device); }

int BootExchange::EnterBootLoader() {
    CQVComm& comm = *tervion_.Comm;
    int previous = 0;
    if (job_.open_flag) {
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
        if (job_.device_kind == kKindPwm) {
            tervion_.StartUpgrade(kBroadcast);
            baud = comm.BaudRate.load();
        } else if (job_.device_kind == kKindModbus) {
            modbus_.Restart(static_cast<uint8_t>(job_.id));
            SleepMs(15);
        } else {
            tervion_.Restart(static_cast<uint8_t>(job_.id));
            SleepMs(15);
        }
        previous = comm.SetBaud(baud, 0);
        SleepMs(100);
    }
    comm.SetTimeout(500);
    return previous;
}

int BootExchange::SendAndAwait(int n, const uint8_t* bytes) {
    if (job_.device_kind == kKindPwm && !job_.open_flag) {
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

int BootExchange::BuildBlock(const FirmwareImage& image, int raw_flag, int open_flag,
                             uint8_t* packet, int i) {
    static const Crc16Engine crc(0, 0, 0x1021, false);
    const uint32_t blocks = image.BlockCount();
    if (i < 1 || static_cast<uint32_t>(i) > blocks) return -1;
    const auto number = static_cast<uint8_t>(i & 0xFF);
    packet[0] = number;
    packet[1] = static_cast<uint8_t>(~number);
    packet[2] = static_cast<uint8_t>(raw_flag);
    // The image buffer is all 0xFF beyond the image, and no image passes its capacity.
    const size_t from = static_cast<size_t>(i - 1) * FirmwareImage::kBlockBytes;
    std::memcpy(packet + 3, image.data.data() + from, FirmwareImage::kBlockBytes);
    const uint16_t check = open_flag ? crc.Compute(packet + 3, 64) : crc.Compute(packet, 64);
    packet[67] = static_cast<uint8_t>(check >> 8);
    packet[68] = static_cast<uint8_t>(check & 0xFF);
    packet[69] = static_cast<uint32_t>(i) == blocks ? 4 : 6;
    return 0;
}

bool BootExchange::UpgradeFirmware() {
    CQVComm& comm = *tervion_.Comm;
    std::lock_guard line(bus_lock_);
    int position = 0;
    events_.progress(position);
    // Bus and Modbus devices are restarted by their id; without a selected servo the
    // restart would go to an id nobody has.
    const bool addressed = job_.open_flag || job_.device_kind == kKindPwm;
    if (!addressed && (job_.id < 0 || job_.id > 253)) return false;
    const int previous_baud = EnterBootLoader();
    // The speed change above kept the parity the port had before it.
    const int previous_parity = comm.SavedParity;

    const std::string handshake = Handshake(job_.open_flag != 0);
    bool ok = true;
    if (!(job_.device_kind == kKindPwm && !job_.open_flag)) {
        ok = SendAndAwait(static_cast<int>(handshake.size()),
                          reinterpret_cast<const uint8_t*>(handshake.data())) >= 0;
    }
    if (ok) ok = SendAndAwait(1, &kStartByte) >= 0;
    uint8_t packet[kBlockPacketBytes];
    int repeats = 0;
    const uint32_t blocks = job_.image.BlockCount();
    for (uint32_t i = 1; ok && i <= blocks;) {
        if (abort_.load()) {
            ok = false;
            break;
        }
        BuildBlock(job_.image, job_.raw_flag, job_.open_flag, packet, static_cast<int>(i));
        const int reply = SendAndAwait(kBlockPacketBytes, packet);
        if (reply == kAck) {
            events_.progress(++position);
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
