#pragma once
// Plain HTTP GET for the update-server queries. Each call uses its own connection (nothing
// is reused or cached between calls), goes direct (no proxy), sends the agent text "GET",
// gives up when connecting takes 3000 ms or when no data arrives for 3000 ms, and refuses
// bodies larger than a cap so that a hostile server cannot exhaust memory. Safe to call
// from any thread.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

struct HttpOptions {
    long connect_timeout_ms = 3000;
    // The transfer ends as a failure when no body data arrives for this long.
    long stall_timeout_ms = 3000;
    // Upper bound for the whole exchange, so a server that trickles a byte now and then
    // cannot hold the caller for ever; 0 means no bound.
    long total_timeout_ms = 120000;
    // Larger bodies fail the transfer.
    size_t max_body_bytes = 16 * 1024 * 1024;
};

// Streams the body to on_chunk as it arrives; on_chunk returns false to abort the
// transfer. Returns true when the whole body arrived.
bool HttpGetStream(const std::string& url,
                   const std::function<bool(const char* data, size_t size)>& on_chunk,
                   const HttpOptions& options = {});

// The update server's host built into this program ("localhost" unless configured).
std::string DefaultUpdateHost();
