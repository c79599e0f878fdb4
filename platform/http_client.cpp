#include "platform/http_client.h"

#include <curl/curl.h>

#include <chrono>
#include <mutex>

#ifndef VEXA_DEFAULT_UPDATE_HOST
#define VEXA_DEFAULT_UPDATE_HOST "localhost"
#endif

namespace {

using Clock = std::chrono::steady_clock;

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    CURL* curl = nullptr;
    const std::function<bool(const char*, size_t)>* on_chunk = nullptr;
    const HttpOptions* options = nullptr;
    size_t received = 0;
    bool over_cap = false;
    Clock::time_point last_activity;
    curl_off_t last_dlnow = 0;
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (n > t->options->max_body_bytes - t->received) {
        t->over_cap = true;
        return 0;  // any short count makes curl end the transfer with an error
    }
    t->received += n;
    t->last_activity = Clock::now();
    if (!(*t->on_chunk)(data, n)) return 0;
    return n;
}

// Enforces the stall time-out with millisecond precision. The clock starts once the
// connection is up (the connect phase has its own time-out) and restarts on every byte.
int OnProgress(void* user, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    const auto now = Clock::now();
    curl_off_t connected_us = 0;
    curl_easy_getinfo(t->curl, CURLINFO_CONNECT_TIME_T, &connected_us);
    if (connected_us == 0 || dlnow != t->last_dlnow) {
        t->last_dlnow = dlnow;
        t->last_activity = now;
    }
    const auto idle =
        std::chrono::duration_cast<std::chrono::milliseconds>(now - t->last_activity).count();
    return idle >= t->options->stall_timeout_ms ? 1 : 0;
}

}  // namespace

bool HttpGetStream(const std::string& url,
                   const std::function<bool(const char* data, size_t size)>& on_chunk,
                   const HttpOptions& options) {
    InitCurlOnce();
    CURL* curl = curl_easy_init();
    if (curl == nullptr) return false;

    Transfer t;
    t.curl = curl;
    t.on_chunk = &on_chunk;
    t.options = &options;
    t.last_activity = Clock::now();

    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "GET");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, options.connect_timeout_ms);
    if (options.total_timeout_ms > 0) {
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, options.total_timeout_ms);
    }
    // A server that announces an oversize body is refused before anything is read.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(options.max_body_bytes));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnWrite);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);

    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return rc == CURLE_OK && !t.over_cap;
}

std::string DefaultUpdateHost() { return VEXA_DEFAULT_UPDATE_HOST; }
