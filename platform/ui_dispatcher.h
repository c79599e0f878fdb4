#pragma once
// Hands work from a bus thread to the user-interface thread without waiting for it.
// The Qt programs post through the event loop (queued call); tests drain a queue by hand.
#include <deque>
#include <functional>
#include <mutex>

class UiDispatcher {
  public:
    virtual ~UiDispatcher() = default;
    virtual void Post(std::function<void()> fn) = 0;
};

// Collects posted work until Drain() runs it on the calling thread (tests, tools).
class QueuedDispatcher : public UiDispatcher {
  public:
    void Post(std::function<void()> fn) override {
        std::lock_guard<std::mutex> g(m_);
        q_.push_back(std::move(fn));
    }
    // Runs everything posted so far (and anything those post in turn); returns how many ran.
    int Drain() {
        int n = 0;
        for (;;) {
            std::function<void()> fn;
            {
                std::lock_guard<std::mutex> g(m_);
                if (q_.empty()) return n;
                fn = std::move(q_.front());
                q_.pop_front();
            }
            fn();
            ++n;
        }
    }

  private:
    std::mutex m_;
    std::deque<std::function<void()>> q_;
};
