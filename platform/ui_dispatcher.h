#pragma once
// Hands work from a bus thread to the user-interface thread without waiting for it.
// The Qt programs post through the event loop (queued call); tests drain a queue by hand.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class UiDispatcher {
  public:
    virtual ~UiDispatcher() = default;
    virtual void Post(std::function<void()> fn) = 0;
};

// How a page posts to the user-interface thread: work it posted that has not run yet is
// dropped once the page is gone (Revoke, or this poster's destruction). Post may be called
// from any thread while the poster exists; Revoke and the posted work run on the
// user-interface thread, so posted work never runs on a page that is being torn down.
class UiPoster {
  public:
    explicit UiPoster(UiDispatcher& ui) : ui_(ui) {}
    ~UiPoster() { Revoke(); }
    UiPoster(const UiPoster&) = delete;
    UiPoster& operator=(const UiPoster&) = delete;

    void Post(std::function<void()> fn) {
        ui_.Post([alive = token_, fn = std::move(fn)] {
            if (!alive.expired()) fn();
        });
    }
    // Drops everything posted so far and everything posted later.
    void Revoke() { owner_.reset(); }

  private:
    UiDispatcher& ui_;
    std::shared_ptr<char> owner_ = std::make_shared<char>(0);
    // Never reassigned, so posting threads may copy it while Revoke resets owner_.
    const std::weak_ptr<char> token_ = owner_;
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
