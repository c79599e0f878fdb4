#pragma once
// Runs a callback every period on its own thread. Ticks never overlap (one thread, the next
// tick is scheduled from the previous deadline, late ticks are skipped rather than bunched),
// and Stop() joins the thread, so after it returns no tick is running.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class PeriodicWorker {
  public:
    PeriodicWorker() = default;
    ~PeriodicWorker() { Stop(); }
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    // Starts (or restarts) the ticks; the first tick comes one period after the start.
    void Start(std::chrono::milliseconds period, std::function<void()> tick);
    // Stops and joins. Must not be called from inside the tick itself.
    void Stop();
    bool Running() const { return running_.load(); }

  private:
    void Run(std::chrono::milliseconds period, std::function<void()> tick);

    std::thread thread_;
    std::atomic<bool> running_{false};
    std::mutex m_;
    std::condition_variable cv_;
    bool stop_ = false;
};
