#pragma once
// The simulated bus: a pseudo-terminal served by one worker thread that cuts the tool's
// bytes into requests, hands each to the devices listening at the line's current baud
// rate, and sends their replies after the configured wire time and delay, through the
// fault injector. Usable inside a test process:
//
//     SimBus bus;
//     bus.AddServo(BuiltInServoModel(), {.id = 1});
//     bus.Start();
//     ... open bus.port_path() with CQVComm ...
//     bus.Stop();
//
// Every public operation is thread-safe.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tools/sim/boot_loader.h"
#include "tools/sim/fault_injector.h"
#include "tools/sim/instruction_servo.h"
#include "tools/sim/modbus_servo.h"
#include "tools/sim/pty_line.h"
#include "tools/sim/pwm_adapter.h"
#include "tools/sim/random_faults.h"
#include "tools/sim/request_framer.h"

namespace sim {

struct SimConfig {
    bool wire_time = false;  // add bytes * 10 / baud seconds for request and reply
    int reply_delay_us = 0;  // added before every reply
    std::string link_path;   // a symbolic link to the port, made on Start, removed on Stop
    int stale_ms = 50;       // a partial request older than this is thrown away
};

class SimBus {
  public:
    explicit SimBus(SimConfig config = {});
    ~SimBus();
    SimBus(const SimBus&) = delete;
    SimBus& operator=(const SimBus&) = delete;

    // Devices may be added before or while the bus runs.
    void AddServo(ServoModel model, const ServoSettings& settings);
    void AddModbusServo(ServoModel model, const ModbusSettings& settings);
    // A device that sits in its boot loader (boot_bus.cpp, with the loaders' traffic).
    void AddOpenDevice();
    // The adapter stays owned by the bus; its pulse record may be read from any thread.
    PwmAdapter& AddPwmAdapter(const PwmAdapterSettings& settings = {});

    bool Start(std::string* error = nullptr);
    void Stop();
    bool running() const { return worker_.joinable(); }

    // The slave side of the pseudo-terminal, the tool's serial port. A new one after Replug.
    std::string port_path() const;

    // The adapter pulled out: the worker closes the line, so the tool's open port hangs up
    // (reads give nothing, writes fail) and the link path goes away. Replug opens a fresh
    // line and points the link at it again, as a device coming back under the same name.
    // Both wait until the worker has done it; false (with a reason) when the bus is not
    // running or the new line cannot be opened.
    bool Unplug(std::string* error = nullptr);
    bool Replug(std::string* error = nullptr);
    bool unplugged() const { return unplugged_; }

    FaultInjector& faults() { return faults_; }
    RandomFaults& random_faults() { return random_faults_; }
    void SetWireTime(bool on) { wire_time_ = on; }
    void SetReplyDelayUs(int us) { reply_delay_us_ = us; }

    // Runs fn on the first device of that kind with this id, under the device lock and
    // with its physics brought up to date. false when there is none.
    bool WithServo(int id, const std::function<void(InstructionServo&)>& fn);
    bool WithModbusServo(int id, const std::function<void(ModbusServo&)>& fn);

    // Requests received that passed their checksum (answered or not).
    long requests_seen() const { return requests_seen_; }
    // While on, every such request is kept, bytes as they came over the line.
    void RecordRequests(bool on);
    // The requests kept so far, oldest first; the record is emptied.
    std::vector<std::vector<uint8_t>> TakeRequests();
    // The baud rate the tool has set on the line.
    int LineBaud() const;

    // Faults of the firmware exchange, for every boot loader.
    void SetBootFaults(const BootFaults& faults);
    // Uploads completed by any device, and the image of the last one.
    int uploads() const;
    std::vector<uint8_t> LastUpload() const;
    // The version the open device's running image reports (major, minor); -1s without one.
    std::pair<int, int> OpenDeviceVersion();

  private:
    void Run();
    void Serve(const RequestFramer::Frame& frame);
    void AdvanceDevices();  // device lock held
    // WithServo and WithModbusServo for a device of any kind.
    template <class Device>
    bool WithDevice(int id, const std::function<void(Device&)>& fn);
    bool Sleep(std::chrono::microseconds duration);  // false when stopping
    void SendGarbage(std::chrono::steady_clock::time_point& last);
    // Hands bytes to a boot loader listening at the line's speed; false when none listens.
    bool FeedLoader(const uint8_t* data, size_t n);
    // Lets the loaders' time pass; true while any of them listens.
    bool TickLoaders();
    void AfterLoader(SimDevice& device, BootLoader& loader,
                     std::vector<BootLoader::Answer>& answers);  // device lock held
    void SendAnswers(const std::vector<BootLoader::Answer>& answers, int baud);
    bool Link(std::string* error);  // (re)points config_.link_path at the line
    void Wake();
    bool RequestLine(int request, std::string* error);
    void ServeLineRequest();  // worker side of Unplug / Replug

    SimConfig config_;
    PtyLine line_;
    FaultInjector faults_;
    RandomFaults random_faults_;
    RequestFramer framer_;
    std::atomic<bool> wire_time_;
    std::atomic<int> reply_delay_us_;
    std::atomic<long> requests_seen_{0};

    std::mutex record_mutex_;
    bool recording_ = false;
    std::vector<std::vector<uint8_t>> recorded_;

    mutable std::mutex boot_mutex_;
    BootFaults boot_faults_;
    int uploads_ = 0;
    std::vector<uint8_t> last_upload_;
    bool loaders_listening_ = false;  // worker only

    std::mutex devices_mutex_;
    std::vector<std::unique_ptr<SimDevice>> devices_;
    std::chrono::steady_clock::time_point last_advance_;

    std::mutex stop_mutex_;
    std::condition_variable stop_cv_;
    bool stopping_ = false;
    int wake_[2] = {-1, -1};
    std::thread worker_;
    bool linked_ = false;

    // Unplug and Replug requests, carried out by the worker between requests. The mutex
    // also guards line_ against port_path() while the worker swaps it.
    mutable std::mutex line_mutex_;
    std::condition_variable line_cv_;
    int line_request_ = 0;
    bool worker_done_ = false;
    bool line_ok_ = false;
    std::string line_error_;
    std::atomic<bool> unplugged_{false};
};

}  // namespace sim
