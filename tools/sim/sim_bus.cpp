#include "tools/sim/sim_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

#include "tools/sim/line_collision.h"

namespace sim {
namespace {
using Clock = std::chrono::steady_clock;
constexpr int kWriteTimeoutMs = 500;
constexpr std::chrono::microseconds kSpinMargin{100};
}  // namespace

SimBus::SimBus(SimConfig config)
    : config_(std::move(config)),
      wire_time_(config_.wire_time),
      reply_delay_us_(config_.reply_delay_us),
      last_advance_(Clock::now()) {}

SimBus::~SimBus() { Stop(); }

void SimBus::AddServo(ServoModel model, const ServoSettings& settings) {
    std::lock_guard lock(devices_mutex_);
    AdvanceDevices();
    devices_.push_back(std::make_unique<InstructionServo>(std::move(model), settings));
}

void SimBus::AddModbusServo(ServoModel model, const ModbusSettings& settings) {
    std::lock_guard lock(devices_mutex_);
    AdvanceDevices();
    devices_.push_back(std::make_unique<ModbusServo>(std::move(model), settings));
}

PwmAdapter& SimBus::AddPwmAdapter(const PwmAdapterSettings& settings) {
    std::lock_guard lock(devices_mutex_);
    AdvanceDevices();
    auto adapter = std::make_unique<PwmAdapter>(settings);
    PwmAdapter& ref = *adapter;
    devices_.push_back(std::move(adapter));
    return ref;
}

bool SimBus::Start(std::string* error) {
    if (running()) return true;
    if (!line_.Open(error)) return false;
    if (!Link(error)) {
        line_.Close();
        return false;
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) *error = std::string("pipe: ") + std::strerror(errno);
        Stop();
        return false;
    }
    {
        std::lock_guard lock(stop_mutex_);
        stopping_ = false;
    }
    {
        std::lock_guard lock(line_mutex_);
        worker_done_ = false;
    }
    worker_ = std::thread([this] { Run(); });
    return true;
}

bool SimBus::Link(std::string* error) {
    if (config_.link_path.empty()) return true;
    struct stat st {};
    if (lstat(config_.link_path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        if (error) *error = "refusing to replace " + config_.link_path + ": not a link";
        return false;
    }
    // A new link under a temporary name renamed over the old one: whoever opens the path
    // finds either the old line or the new one, never nothing.
    const std::string fresh = config_.link_path + ".new";
    unlink(fresh.c_str());
    if (symlink(line_.slave_path().c_str(), fresh.c_str()) != 0 ||
        rename(fresh.c_str(), config_.link_path.c_str()) != 0) {
        if (error) *error = "symlink " + config_.link_path + ": " + std::strerror(errno);
        unlink(fresh.c_str());
        return false;
    }
    linked_ = true;
    return true;
}

void SimBus::Wake() {
    if (wake_[1] >= 0) {
        const char b = 1;
        [[maybe_unused]] ssize_t ignored = write(wake_[1], &b, 1);
    }
}

int SimBus::LineBaud() const {
    std::lock_guard lock(line_mutex_);
    return line_.Baud();
}

std::string SimBus::port_path() const {
    std::lock_guard lock(line_mutex_);
    return line_.slave_path();
}

bool SimBus::Unplug(std::string* error) { return RequestLine(1, error); }

bool SimBus::Replug(std::string* error) { return RequestLine(2, error); }

bool SimBus::RequestLine(int request, std::string* error) {
    std::unique_lock lock(line_mutex_);
    if (!running()) {
        if (error) *error = "the bus is not running";
        return false;
    }
    line_request_ = request;
    Wake();
    line_cv_.wait(lock, [this] { return line_request_ == 0 || worker_done_; });
    if (line_request_ != 0) {
        line_request_ = 0;
        if (error) *error = "the bus has stopped";
        return false;
    }
    if (!line_ok_ && error) *error = line_error_;
    return line_ok_;
}

void SimBus::ServeLineRequest() {
    std::lock_guard lock(line_mutex_);
    if (line_request_ == 0) return;
    line_ok_ = true;
    if (line_request_ == 1 && !unplugged_) {
        if (linked_) unlink(config_.link_path.c_str());
        linked_ = false;
        line_.Close();
        framer_.Clear();
        unplugged_ = true;
    } else if (line_request_ == 2 && unplugged_) {
        line_error_.clear();
        line_ok_ = line_.Open(&line_error_) && Link(&line_error_);
        if (line_ok_) {
            unplugged_ = false;
        } else {
            line_.Close();
        }
    }
    line_request_ = 0;
    line_cv_.notify_all();
}

void SimBus::Stop() {
    {
        std::lock_guard lock(stop_mutex_);
        stopping_ = true;
    }
    stop_cv_.notify_all();
    Wake();
    if (worker_.joinable()) worker_.join();
    for (int& fd : wake_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    if (linked_) {
        char target[256] = {};
        const ssize_t n = readlink(config_.link_path.c_str(), target, sizeof target - 1);
        if (n > 0 && line_.slave_path() == std::string(target, static_cast<size_t>(n)))
            unlink(config_.link_path.c_str());
        linked_ = false;
    }
    line_.Close();
}

bool SimBus::Sleep(std::chrono::microseconds duration) {
    const auto deadline = Clock::now() + duration;
    std::unique_lock lock(stop_mutex_);
    if (duration.count() <= 0) return !stopping_;
    // A timed wait wakes up tens of microseconds late, which at 1000000 baud is more than
    // the wire time itself: wait most of it, then yield until the deadline.
    const auto coarse = duration - kSpinMargin;
    if (coarse.count() > 0 && stop_cv_.wait_for(lock, coarse, [this] { return stopping_; }))
        return false;
    while (Clock::now() < deadline) {
        if (stopping_) return false;
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
    return !stopping_;
}

void SimBus::AdvanceDevices() {
    const auto now = Clock::now();
    const double seconds = std::chrono::duration<double>(now - last_advance_).count();
    last_advance_ = now;
    for (auto& d : devices_) d->Advance(seconds);
}

template <class Device>
bool SimBus::WithDevice(int id, const std::function<void(Device&)>& fn) {
    std::lock_guard lock(devices_mutex_);
    AdvanceDevices();
    for (auto& d : devices_) {
        auto* device = dynamic_cast<Device*>(d.get());
        if (device && device->id() == id) {
            fn(*device);
            return true;
        }
    }
    return false;
}

bool SimBus::WithServo(int id, const std::function<void(InstructionServo&)>& fn) {
    return WithDevice(id, fn);
}

bool SimBus::WithModbusServo(int id, const std::function<void(ModbusServo&)>& fn) {
    return WithDevice(id, fn);
}

void SimBus::RecordRequests(bool on) {
    std::lock_guard lock(record_mutex_);
    recording_ = on;
}

std::vector<std::vector<uint8_t>> SimBus::TakeRequests() {
    std::lock_guard lock(record_mutex_);
    return std::exchange(recorded_, {});
}

void SimBus::Run() {
    auto last_rx = Clock::now();
    auto last_garbage = Clock::now();
    uint8_t chunk[512];
    for (;;) {
        ServeLineRequest();
        {
            std::lock_guard lock(stop_mutex_);
            if (stopping_) break;
        }
        // Unplugged, the master is closed (-1, which poll skips): wait for the wake pipe.
        const bool endless = faults_.endless_garbage() && !unplugged_;
        const int timeout = endless              ? 1
                            : loaders_listening_ ? 5
                                                 : (framer_.buffered() ? config_.stale_ms : 200);
        pollfd fds[2] = {{line_.master_fd(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        poll(fds, 2, timeout);
        if (fds[1].revents) {
            while (read(wake_[0], chunk, sizeof chunk) > 0) {
            }
        }
        if (fds[0].revents & POLLIN) {
            size_t got;
            // A read short of the chunk took all there was; the next poll sees the rest.
            do {
                got = line_.Read(chunk, sizeof chunk);
                if (got == 0) break;
                if (!FeedLoader(chunk, got)) framer_.Feed(chunk, got);
                last_rx = Clock::now();
            } while (got == sizeof chunk);
        }
        RequestFramer::Frame frame;
        while (framer_.Next(frame)) Serve(frame);
        loaders_listening_ = TickLoaders();
        if (framer_.buffered() &&
            Clock::now() - last_rx > std::chrono::milliseconds(config_.stale_ms))
            framer_.Clear();
        if (endless) {
            SendGarbage(last_garbage);
        } else {
            last_garbage = Clock::now();
        }
    }
    // A request that raced with Stop must not leave its caller waiting.
    ServeLineRequest();
    std::lock_guard lock(line_mutex_);
    worker_done_ = true;
    line_cv_.notify_all();
}

void SimBus::SendGarbage(Clock::time_point& last) {
    // About the line rate: baud / 10 bytes a second, at least one byte a millisecond.
    const auto now = Clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - last).count();
    const int baud = std::max(line_.Baud(), 10000);
    const size_t n = std::clamp<size_t>(static_cast<size_t>(ms * baud / 10000.0), 1, 512);
    uint8_t bytes[512];
    faults_.FillGarbage(bytes, n);
    line_.WriteSome(bytes, n);
    last = now;
}

void SimBus::Serve(const RequestFramer::Frame& frame) {
    ++requests_seen_;
    {
        std::lock_guard lock(record_mutex_);
        if (recording_) recorded_.push_back(frame.bytes);
    }
    // Read per request: the tool may change the speed between two requests.
    const int baud = line_.Baud();
    std::vector<std::vector<uint8_t>> replies;
    {
        std::lock_guard lock(devices_mutex_);
        AdvanceDevices();
        for (auto& d : devices_) {
            if (baud <= 0 || d->baud() != baud) continue;
            std::vector<uint8_t> reply;
            const bool answered =
                frame.kind == RequestFramer::Kind::kInstruction
                    ? d->HandleInstruction(frame.bytes.data(), frame.bytes.size(), reply)
                    : d->HandleModbus(frame.bytes.data(), frame.bytes.size(), reply);
            if (answered && !reply.empty()) replies.push_back(std::move(reply));
        }
    }
    // Two or more devices answering one request talk over each other.
    if (replies.size() > 1) replies = {CollideOnLine(replies)};
    bool request_on_wire = true;
    for (auto& reply : replies) {
        int extra_ms = 0;
        random_faults_.Arm(faults_);
        if (!faults_.Apply(reply, extra_ms)) continue;
        long long us = reply_delay_us_ + extra_ms * 1000LL;
        const bool timed = wire_time_ && baud > 0;
        auto wire_us = [baud](size_t bytes) {
            return static_cast<long long>(bytes) * 10 * 1000000LL / baud;
        };
        if (timed && request_on_wire) us += wire_us(frame.bytes.size());
        request_on_wire = false;
        // With wire time the first byte arrives after its own byte time and the rest
        // streams behind it, as on a real line: a master may see a reply begin long
        // before its end at slow rates.
        if (timed && reply.size() > 1) {
            if (!Sleep(std::chrono::microseconds(us + wire_us(1)))) return;
            line_.WriteAll(reply.data(), 1, kWriteTimeoutMs);
            if (!Sleep(std::chrono::microseconds(wire_us(reply.size() - 1)))) return;
            line_.WriteAll(reply.data() + 1, reply.size() - 1, kWriteTimeoutMs);
            continue;
        }
        if (timed) us += wire_us(reply.size());
        if (!Sleep(std::chrono::microseconds(us))) return;
        line_.WriteAll(reply.data(), reply.size(), kWriteTimeoutMs);
    }
}

}  // namespace sim
