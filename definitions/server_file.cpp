#include "definitions/server_file.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <limits>

#include "platform/number_text.h"

ServerReply ReadServerReply(const std::string& body) {
    ServerReply reply;
    if (body.empty()) return reply;
    ReplyMap outer;
    ParseReply(outer, body);
    const auto data = outer.find("data");
    // A reply without "data" says no more than one whose "data" is null.
    if (data == outer.end() || data->second.empty() || data->second == "null") {
        reply.result = ServerResult::kNothingStored;
        return reply;
    }
    ParseReply(reply.members, data->second);
    reply.result = ServerResult::kFound;
    return reply;
}

ServerReply QueryServer(const std::string& url) { return ReadServerReply(ServerGet(url)); }

ServerReply DownloadServerFile(const std::string& name, size_t capacity) {
    ServerReply reply = QueryServer(FileQueryUrl(name));
    if (reply.result != ServerResult::kFound) return reply;
    const std::string& text = reply.members["wenjian"];
    // Four characters make at most three bytes; the buffer is sized by what the text holds,
    // never by what the server might claim.
    const size_t most = text.size() / 4 * 3 + 3;
    const size_t room = std::min(most, capacity);
    if (text.size() > static_cast<size_t>(std::numeric_limits<int>::max()) ||
        room > static_cast<size_t>(std::numeric_limits<int>::max())) {
        reply.result = ServerResult::kTooLarge;
        return reply;
    }
    reply.bytes.resize(room);
    const int n = DecodeBase64(text.data(), static_cast<int>(text.size()), reply.bytes.data(),
                               static_cast<int>(room));
    if (n < 0) {
        reply.bytes.clear();
        reply.result = ServerResult::kTooLarge;
        return reply;
    }
    reply.bytes.resize(static_cast<size_t>(n));
    return reply;
}

std::string FormatUploadTime(const std::string& created_date) {
    const long long ms = LeadingInteger(created_date);
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) local = std::tm{};
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d-%d-%d %d:%d:%d\r\n", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return buf;
}
