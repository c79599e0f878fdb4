#pragma once
// A bare TCP server on 127.0.0.1 for tests that need replies no well-behaved HTTP server
// would send: line breaks in odd places, oversize bodies, a body that stalls half-way.
// Connections are served one after another on one thread.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class RawHttpServer {
  public:
    // fd: the accepted connection; request: the request head as received; stopping turns
    // true when the server is being destroyed (long handlers should watch it).
    using Handler =
        std::function<void(int fd, const std::string& request, const std::atomic<bool>& stopping)>;

    explicit RawHttpServer(Handler handler);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer&) = delete;
    RawHttpServer& operator=(const RawHttpServer&) = delete;

    int port() const { return port_; }
    std::string LastRequest() const;

    // Writes all of text; false when the peer has gone.
    static bool Send(int fd, const std::string& text);
    // Sleeps up to ms, returning early (false) when stopping.
    static bool Pause(int ms, const std::atomic<bool>& stopping);

  private:
    void Run();

    Handler handler_;
    int listen_fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::string last_request_;
    std::thread thread_;
};
