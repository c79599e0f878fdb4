#pragma once
// The update server for a folder of files: answers the version query
// (/zqgetzuixinbanben/NAME) and the file query (/zqgetzuixinwenjian/NAME) with
// {"code":0,"data":{...}} or {"code":0,"data":null}. Runs on its own threads; usable
// in-process by tests and by the vexa-server program.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/server/file_catalog.h"

namespace httplib {
class Server;
}

class UpdateServer {
  public:
    explicit UpdateServer(std::string root);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // Binds host:port (0 picks a free port) and starts serving. false when the address
    // cannot be bound or the server already runs.
    bool Start(const std::string& host = "127.0.0.1", int port = 0);
    // Stops serving and joins the server thread; safe to call twice.
    void Stop();
    int port() const { return port_; }

    // Paths of the requests received so far, in order of arrival.
    std::vector<std::string> Requests() const;
    size_t RequestCount() const;

    // The reply body for a query; with_content adds "wenjian". Exposed for tests.
    static std::string BuildReply(const StoredFile* file, bool with_content);

  private:
    void Handle(const std::string& path, const std::string& name, bool with_content,
                void* response);

    FileCatalog catalog_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex requests_mutex_;
    std::vector<std::string> requests_;
    std::map<std::string, long long> served_;  // requests per name, for the cut_from hook
};
