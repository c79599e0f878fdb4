#include "platform/periodic_worker.h"

void PeriodicWorker::Start(std::chrono::milliseconds period, std::function<void()> tick) {
    Stop();
    {
        std::lock_guard<std::mutex> g(m_);
        stop_ = false;
    }
    running_ = true;
    thread_ = std::thread(
        [this, period, tick = std::move(tick)]() mutable { Run(period, std::move(tick)); });
}

void PeriodicWorker::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> g(m_);
        stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
    running_ = false;
}

void PeriodicWorker::Run(std::chrono::milliseconds period, std::function<void()> tick) {
    using clock = std::chrono::steady_clock;
    auto next = clock::now() + period;
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        if (cv_.wait_until(lk, next, [this] { return stop_; })) return;
        lk.unlock();
        tick();
        lk.lock();
        next += period;
        const auto now = clock::now();
        // A tick that overran skips the deadlines it missed instead of firing them back to back.
        if (next <= now) next = now + period - (now - next) % period;
    }
}
