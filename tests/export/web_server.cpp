#include "web_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/wait_until.h"

extern char** environ;

namespace {

int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    close(s);
    return port;
}

bool Accepts(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(s);
    return ok;
}

}  // namespace

WebServer::WebServer(const std::string& document_root, const std::string& extra,
                     const std::string& work_dir)
    : work_(work_dir) {
    std::filesystem::create_directories(work_ + "/tmp");
    // The port is free when asked, but another process may take it before nginx binds.
    for (int attempt = 0; attempt < 3 && address_.empty(); ++attempt) {
        const int port = FreePort();
        if (port > 0 && StartOn(port, document_root, extra))
            address_ = "127.0.0.1:" + std::to_string(port);
    }
}

bool WebServer::StartOn(int port, const std::string& document_root, const std::string& extra) {
    const std::string conf = work_ + "/nginx.conf";
    const std::string t = work_ + "/tmp";
    std::ofstream(conf) << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                        << "pid " << work_ << "/nginx.pid;\n"
                        << "error_log " << work_ << "/error.log;\n"
                        << "events { worker_connections 64; }\n"
                        << "http {\n  access_log off;\n"
                        << "  client_body_temp_path " << t << "/body;\n"
                        << "  proxy_temp_path " << t << "/proxy;\n"
                        << "  fastcgi_temp_path " << t << "/fastcgi;\n"
                        << "  uwsgi_temp_path " << t << "/uwsgi;\n"
                        << "  scgi_temp_path " << t << "/scgi;\n"
                        << "  server {\n    listen 127.0.0.1:" << port << ";\n"
                        << "    root " << document_root << ";\n"
                        << "    " << extra << "\n  }\n}\n";
    std::string prefix = work_ + "/", conf_arg = conf, log_arg = work_ + "/error.log";
    char* argv[] = {
        const_cast<char*>(kNginx), const_cast<char*>("-p"), prefix.data(),  const_cast<char*>("-c"),
        conf_arg.data(),           const_cast<char*>("-e"), log_arg.data(), nullptr};
    if (posix_spawn(&pid_, kNginx, nullptr, nullptr, argv, environ) != 0) {
        pid_ = -1;
        return false;
    }
    bool ended = false;  // the server gave up, as when the port was taken
    const bool settled = WaitUntil(
        [&] {
            if (Accepts(port)) return true;
            int status = 0;
            ended = waitpid(pid_, &status, WNOHANG) == pid_;
            return ended;
        },
        std::chrono::seconds(10),
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
    if (settled && !ended) return true;
    if (!ended) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
    return false;
}

WebServer::~WebServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string WebServer::log() const {
    std::ifstream in(work_ + "/error.log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
