#pragma once
// The communication test of the Upgrade page: on a worker, pass after pass, every found
// servo of the selected model is read once and timed; the result lines of a pass and the
// time-outs counted per servo go back to the page. The worker takes the selection once,
// when it starts, and holds the bus lock around each read only.
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "definitions/servo_types.h"
#include "platform/bus_lock.h"

class Modbus;
class Tervion;

class CommunicationTest {
  public:
    // What a pass reads: the found servos, the selected one and its model's debug row.
    struct Selection {
        std::vector<ServoInfo> records;
        int index = -1;
        int count = 0;  // 0 when nothing is selected or the model has no debug row
        ServoKind kind = kKindServo;
        int id = -1;
        DebugRow row{};
        std::string model_name;
    };
    // Called on the worker: the text of a finished pass; the worker's end; the pass limit
    // reached (the test has stopped itself).
    struct Events {
        std::function<void(const std::string& text)> pass;
        std::function<void()> ended;
        std::function<void()> limit_reached;
    };

    // line_format: the result line, with %d id, %d reply time, %d time-outs, %.2f speed.
    CommunicationTest(Modbus& modbus, Tervion& tervion, BusLock& bus_lock, std::string line_format,
                      Events events);
    ~CommunicationTest();
    CommunicationTest(const CommunicationTest&) = delete;
    CommunicationTest& operator=(const CommunicationTest&) = delete;

    // Starts a worker on a copy of s, unless one is still finishing its last pass: that one
    // then simply goes on, so two workers never test at once.
    void Start(const Selection& s);
    // The worker ends after its current pass.
    void Stop() { running_ = 0; }
    // Stops and waits for the worker.
    void Join();
    bool running() const { return running_.load() != 0; }

    // After this many passes the worker stops by itself (0: until stopped).
    void SetPassLimit(int passes) { pass_limit_ = passes; }
    void ClearCounts();
    int timeout_count(int id) const;

    // One pass over s; its result text.
    std::string RunPass(const Selection& s);

  private:
    void Worker(Selection s);

    Modbus& modbus_;
    Tervion& tervion_;
    BusLock& bus_lock_;
    const std::string line_format_;
    const Events events_;

    std::atomic<int> running_{0};
    std::atomic<int> pass_limit_{0};
    std::mutex worker_mutex_;    // orders a worker's end against a new Start
    bool worker_alive_ = false;  // under worker_mutex_
    Selection next_;             // a new press's selection for the running worker
    bool has_next_ = false;
    std::thread worker_;
    mutable std::mutex counts_mutex_;
    std::array<int, 254> timeouts_{};
};
