// The simulated bus's side of the firmware exchange: bytes at a listening boot loader's
// speed go to that loader instead of the request framer, and its answers go back after
// the wire time.
#include "tools/sim/open_device.h"
#include "tools/sim/sim_bus.h"

namespace sim {
namespace {
constexpr int kWriteTimeoutMs = 500;
}

void SimBus::AddOpenDevice() {
    std::lock_guard lock(devices_mutex_);
    devices_.push_back(std::make_unique<OpenDevice>());
}

void SimBus::SetBootFaults(const BootFaults& faults) {
    std::lock_guard lock(boot_mutex_);
    boot_faults_ = faults;
}

int SimBus::uploads() const {
    std::lock_guard lock(boot_mutex_);
    return uploads_;
}

std::vector<uint8_t> SimBus::LastUpload() const {
    std::lock_guard lock(boot_mutex_);
    return last_upload_;
}

std::pair<int, int> SimBus::OpenDeviceVersion() {
    std::lock_guard lock(devices_mutex_);
    for (auto& d : devices_) {
        if (auto* open = dynamic_cast<OpenDevice*>(d.get()))
            return {open->version_major(), open->version_minor()};
    }
    return {-1, -1};
}

void SimBus::AfterLoader(SimDevice& device, BootLoader& loader,
                         std::vector<BootLoader::Answer>& answers) {
    if (!loader.TakeCompleted()) return;
    device.RunUploadedImage();
    std::lock_guard lock(boot_mutex_);
    ++uploads_;
    last_upload_ = loader.image();
}

bool SimBus::FeedLoader(const uint8_t* data, size_t n) {
    const int baud = line_.Baud();
    BootFaults faults;
    {
        std::lock_guard lock(boot_mutex_);
        faults = boot_faults_;
    }
    std::vector<BootLoader::Answer> answers;
    {
        std::lock_guard lock(devices_mutex_);
        SimDevice* owner = nullptr;
        BootLoader* loader = nullptr;
        for (auto& d : devices_) {
            BootLoader* l = d->boot_loader();
            if (l && l->listening() && l->baud() == baud) {
                owner = d.get();
                loader = l;
                break;
            }
        }
        if (!loader) return false;
        {
            std::lock_guard record(record_mutex_);
            if (recording_) recorded_.emplace_back(data, data + n);
        }
        loader->Feed(data, n, faults, answers);
        AfterLoader(*owner, *loader, answers);
    }
    SendAnswers(answers, baud);
    return true;
}

bool SimBus::TickLoaders() {
    const int baud = line_.Baud();
    BootFaults faults;
    {
        std::lock_guard lock(boot_mutex_);
        faults = boot_faults_;
    }
    std::vector<BootLoader::Answer> answers;
    bool listening = false;
    {
        std::lock_guard lock(devices_mutex_);
        for (auto& d : devices_) {
            BootLoader* l = d->boot_loader();
            if (!l || !l->listening()) continue;
            l->Tick(baud, faults, answers);
            AfterLoader(*d, *l, answers);
            listening = listening || l->listening();
        }
    }
    SendAnswers(answers, baud);
    return listening;
}

void SimBus::SendAnswers(const std::vector<BootLoader::Answer>& answers, int baud) {
    for (const auto& a : answers) {
        long long us = reply_delay_us_;
        if (wire_time_ && baud > 0)
            us += static_cast<long long>(a.request_bytes + a.bytes.size()) * 10 * 1000000LL / baud;
        if (!Sleep(std::chrono::microseconds(us))) return;
        line_.WriteAll(a.bytes.data(), a.bytes.size(), kWriteTimeoutMs);
    }
}

}  // namespace sim
