#include "tools/server/update_server.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/server/base64_encoder.h"
#include "tools/server/file_reply_stream.h"

namespace {

// JSON string body. The clients' parser knows no escapes, so names and texts that need
// them will not survive the trip, but the reply stays valid JSON for other readers.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
            out += buffer;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The file's bytes; false when it cannot be read or has grown past max_bytes since it was
// found.
bool ReadFile(const std::string& path, long long max_bytes, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || size > max_bytes) return false;
    in.seekg(0, std::ios::beg);
    content.assign(static_cast<size_t>(size), '\0');
    in.read(content.data(), size);
    return static_cast<std::streamoff>(in.gcount()) == size;
}

const char* const kNothingStored = R"({"code":0,"data":null})";

// The reply up to the end of the last member before "wenjian".
std::string Description(const StoredFile& file) {
    return R"({"code":0,"data":{"createdDate":)" + JsonString(file.created_date) + R"(,"banben":)" +
           JsonString(file.banben) + R"(,"filename":)" + JsonString(file.filename) +
           R"(,"xinghao":)" + JsonString(file.xinghao);
}

}  // namespace

UpdateServer::UpdateServer(std::string root) : catalog_(std::move(root)) {}

UpdateServer::~UpdateServer() { Stop(); }

std::string UpdateServer::BuildReply(const StoredFile* file, bool with_content) {
    if (file == nullptr) return kNothingStored;
    std::string reply = Description(*file);
    if (with_content) {
        std::string content;
        if (!ReadFile(file->path, file->max_bytes, content)) return kNothingStored;
        reply += R"(,"wenjian":")";
        reply += EncodeBase64(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        reply += '"';
    }
    return reply + "}}";
}

void UpdateServer::Handle(const std::string& path, const std::string& name, bool with_content,
                          void* response) {
    long long nth;
    {
        std::lock_guard<std::mutex> lock(requests_mutex_);
        requests_.push_back(path);
        nth = ++served_[name];
    }
    auto& res = *static_cast<httplib::Response*>(response);
    const std::optional<StoredFile> file = catalog_.Find(name);
    const long long cut = file && nth >= file->cut_from ? file->cut_after : -1;
    if (file && with_content) {
        std::shared_ptr<FileReplyStream> reply = FileReplyStream::Open(
            file->path, file->max_bytes, Description(*file) + R"(,"wenjian":")");
        if (!reply) {
            res.set_content(kNothingStored, "application/json");
            return;
        }
        // With the cut hook the whole length is announced and only the first part sent,
        // then the connection dropped: the client sees a transfer that breaks off half-way.
        const size_t end =
            cut >= 0 && static_cast<size_t>(cut) < reply->size() ? cut : reply->size();
        res.set_content_provider(reply->size(), "application/json",
                                 [reply, end](size_t offset, size_t, httplib::DataSink& sink) {
                                     std::string part;
                                     if (offset >= end || !reply->Next(offset, part)) return false;
                                     if (part.size() > end - offset) part.resize(end - offset);
                                     return sink.write(part.data(), part.size());
                                 });
        return;
    }
    auto body = std::make_shared<std::string>(BuildReply(file ? &*file : nullptr, with_content));
    if (cut < 0 || static_cast<size_t>(cut) >= body->size()) {
        res.set_content(*body, "application/json");
        return;
    }
    // Announce the whole length, send only the first part, then drop the connection: the
    // client sees a transfer that breaks off half-way.
    res.set_content_provider(body->size(), "application/json",
                             [body, cut](size_t offset, size_t, httplib::DataSink& sink) {
                                 if (offset < static_cast<size_t>(cut)) {
                                     sink.write(body->data() + offset,
                                                static_cast<size_t>(cut) - offset);
                                 }
                                 return false;
                             });
}

bool UpdateServer::Start(const std::string& host, int port) {
    if (server_) return false;
    auto server = std::make_unique<httplib::Server>();
    // Address reuse only: the library's default also shares the port with any other
    // process that asks, so a second server on 9048 would silently split the requests.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server->Get(R"(/zqgetzuixinbanben/(.*))",
                [this](const httplib::Request& req, httplib::Response& res) {
                    Handle(req.path, req.matches[1].str(), false, &res);
                });
    server->Get(R"(/zqgetzuixinwenjian/(.*))",
                [this](const httplib::Request& req, httplib::Response& res) {
                    Handle(req.path, req.matches[1].str(), true, &res);
                });
    if (port == 0) {
        port = server->bind_to_any_port(host);
        if (port <= 0) return false;
    } else if (!server->bind_to_port(host, port)) {
        return false;
    }
    port_ = port;
    server_ = std::move(server);
    httplib::Server* raw = server_.get();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    thread_ = std::thread([raw, ended] {
        raw->listen_after_bind();
        ended->store(true);
    });
    // stop() is ignored until the accept loop runs, so do not return before it does.
    while (!raw->is_running() && !ended->load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (ended->load() && !raw->is_running()) {
        thread_.join();
        server_.reset();
        return false;
    }
    return true;
}

void UpdateServer::Stop() {
    if (!server_) return;
    server_->stop();
    if (thread_.joinable()) thread_.join();
    server_.reset();
}

std::vector<std::string> UpdateServer::Requests() const {
    std::lock_guard<std::mutex> lock(requests_mutex_);
    return requests_;
}

size_t UpdateServer::RequestCount() const {
    std::lock_guard<std::mutex> lock(requests_mutex_);
    return requests_.size();
}
