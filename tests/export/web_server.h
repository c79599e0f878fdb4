#pragma once
// nginx serving a folder on a free port of 127.0.0.1, as an ordinary web server would carry
// an export. Its configuration, logs and temporary files live in a folder of its own.
#include <sys/types.h>

#include <string>

class WebServer {
  public:
    // `extra` goes into the server block as it is (the fallback line, for instance).
    WebServer(const std::string& document_root, const std::string& extra,
              const std::string& work_dir);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // "127.0.0.1:PORT" once it accepts connections; empty when it did not start (see log()).
    const std::string& address() const { return address_; }
    std::string log() const;

  private:
    bool StartOn(int port, const std::string& document_root, const std::string& extra);

    std::string work_;
    pid_t pid_ = -1;
    std::string address_;
};

constexpr const char* kNginx = "/usr/sbin/nginx";
