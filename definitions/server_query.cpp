#include "definitions/server_query.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "definitions/server_file.h"
#include "platform/http_client.h"
#include "platform/number_text.h"
#include "platform/settings_store.h"

namespace {

constexpr int kDefaultPort = 9048;

// A port text of 1 to 5 digits in 1..65535.
bool ValidPort(const std::string& text) {
    return text.size() <= 5 && ParseInteger(text, 1, 65535).has_value();
}

// Letters, digits, '.', '-', '_' (a host name or an IPv4 address).
bool ValidHostName(const std::string& text) {
    if (text.empty() || text.size() > 253) return false;
    for (char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok) return false;
    }
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port" → host text for the URL and port; false when
// the text is none of these (it then cannot smuggle a path or credentials into the URL).
bool SplitHost(const std::string& text, std::string& host, std::string& port) {
    port.clear();
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close < 2) return false;
        const std::string inner = text.substr(1, close - 1);
        for (char c : inner) {
            const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                            (c >= 'A' && c <= 'F') || c == ':' || c == '.';
            if (!ok) return false;
        }
        host = text.substr(0, close + 1);
        const std::string rest = text.substr(close + 1);
        if (rest.empty()) return true;
        if (rest[0] != ':') return false;
        port = rest.substr(1);
        return ValidPort(port);
    }
    const size_t colon = text.find(':');
    host = text.substr(0, colon);
    if (!ValidHostName(host)) return false;
    if (colon == std::string::npos) return true;
    port = text.substr(colon + 1);
    return ValidPort(port);
}

// Appends text[begin, end) to out without any occurrence of ch.
void AppendWithout(std::string& out, const char* text, size_t begin, size_t end, char ch) {
    while (begin < end) {
        const void* hit = std::memchr(text + begin, ch, end - begin);
        const size_t stop = hit ? static_cast<size_t>(static_cast<const char*>(hit) - text) : end;
        out.append(text + begin, stop - begin);
        begin = stop + 1;
    }
}

void AppendWithout(std::string& out, const std::string& text, size_t begin, size_t end, char ch) {
    AppendWithout(out, text.data(), begin, end, ch);
}

}  // namespace

int Base64Value(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return 0;  // outside the alphabet (also '=' in the first two places)
}

int DecodeBase64Group(const char* group, int have, uint8_t out[3]) {
    auto at = [&](int k) { return k < have ? static_cast<unsigned char>(group[k]) : '='; };
    const int v1 = Base64Value(at(0)), v2 = Base64Value(at(1));
    out[0] = static_cast<uint8_t>((v1 << 2) | (v2 >> 4));
    if (at(2) == '=') return 1;
    const int v3 = Base64Value(at(2));
    out[1] = static_cast<uint8_t>(((v2 & 0x0F) << 4) | (v3 >> 2));
    if (at(3) == '=') return 2;
    out[2] = static_cast<uint8_t>(((v3 & 0x03) << 6) | Base64Value(at(3)));
    return 3;
}

std::string UpdateServerHost() {
    const char* env = std::getenv("VEXA_UPDATE_SERVER");
    if (env != nullptr && *env != '\0') {
        std::string host, port;
        if (SplitHost(env, host, port)) return env;
    }
    return DefaultUpdateHost();
}

std::string UpdateServerBase() {
    std::string host, port;
    if (!SplitHost(UpdateServerHost(), host, port)) {
        host = DefaultUpdateHost();
        port.clear();
    }
    if (port.empty()) port = std::to_string(kDefaultPort);
    return "http://" + host + ":" + port;
}

std::string VersionQueryUrl(const std::string& name) {
    return UpdateServerBase() + "/zqgetzuixinbanben/" + name;
}

std::string FileQueryUrl(const std::string& name) {
    return UpdateServerBase() + "/zqgetzuixinwenjian/" + name;
}

HttpOptions ServerStreamOptions() {
    HttpOptions options;
    options.max_body_bytes = kMaxStreamBytes;
    options.total_timeout_ms = 0;
    return options;
}

bool ServerStream(const std::string& url,
                  const std::function<bool(const char* data, size_t size)>& on_chunk) {
    return HttpGetStream(url, on_chunk, ServerStreamOptions());
}

bool IsPlainFileName(const std::string& name) {
    // A leading dot also covers "." and ".." and hidden files the user would not see.
    if (name.empty() || name[0] == '.') return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return false;
    }
    return true;
}

std::string ServerGet(const std::string& url) {
    HttpOptions options;
    options.max_body_bytes = kMaxReplyBytes;
    std::string result;
    const bool ok = HttpGetStream(
        url,
        [&result](const char* data, size_t size) {
            // Lines are joined with nothing between them: line feeds go, carriage returns
            // stay.
            AppendWithout(result, data, 0, size, '\n');
            return true;
        },
        options);
    if (!ok) return {};
    return result;
}

void ParseReply(ReplyMap& map, const std::string& text) {
    // s is text without double quotes; the loop walks it with an offset instead of cutting
    // copies off the front, so a long reply with many members stays linear.
    std::string s;
    s.reserve(text.size());
    AppendWithout(s, text, 0, text.size(), '"');

    std::vector<std::string> items;
    // The first '{', '}' and ',' at or after pos are cached and searched again only once
    // pos has passed them.
    size_t pos = 0;
    size_t next_open = s.find('{');
    size_t next_close = s.find('}');
    size_t next_comma = s.find(',');
    auto refresh = [&s, &pos](size_t& cached, char ch) {
        if (cached != std::string::npos && cached < pos) cached = s.find(ch, pos);
    };
    while (pos < s.size() && next_comma != std::string::npos) {
        refresh(next_open, '{');
        refresh(next_close, '}');
        const size_t i = next_comma - pos;  // item length up to the first comma
        const bool brace_inside =
            next_open != std::string::npos && next_open > pos && next_open < next_comma;
        std::string item;
        if (brace_inside && next_close != std::string::npos) {
            // A member whose value is an object keeps the whole object, braces included.
            item = s.substr(pos, next_close + 1 - pos);
            pos = next_close + 1;
        } else {
            AppendWithout(item, s, pos, pos + i, '{');
            pos = next_comma + 1;
        }
        items.push_back(std::move(item));
        refresh(next_comma, ',');
    }
    if (pos < s.size()) {
        std::string rest;
        AppendWithout(rest, s, pos, s.size(), '}');
        if (!rest.empty()) items.push_back(std::move(rest));
    }

    for (const std::string& item : items) {
        const size_t colon = item.find(':');
        if (colon == std::string::npos) {
            map[""] = item;
        } else {
            map[item.substr(0, colon)] = item.substr(colon + 1);
        }
    }
}

int DecodeBase64(const char* text, int length, uint8_t* output, int capacity) {
    if (text == nullptr || length <= 0) return 0;
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    int pos = 0;
    int written = 0;
    auto put = [&](int byte) {
        if (written >= capacity) return false;
        output[written++] = static_cast<uint8_t>(byte);
        return true;
    };
    while (pos < length) {
        if (in[pos] == '\r' || in[pos] == '\n') {
            ++pos;
            continue;
        }
        // A final group cut short is read as if padded: missing characters count as '='.
        // A lone last character carries fewer than 8 bits and yields nothing.
        const int left = length - pos;
        if (left < 2) break;
        uint8_t bytes[3];
        const int n = DecodeBase64Group(text + pos, std::min(left, 4), bytes);
        pos += std::min(left, 4);
        for (int k = 0; k < n; ++k)
            if (!put(bytes[k])) return -1;
    }
    return written;
}

int CheckVersion(const SettingsStore& settings) {
    const std::optional<std::string> stored = settings.Read("createdDate");
    if (!stored) return -1;
    ServerReply reply = QueryServer(VersionQueryUrl("Vexa.exe"));
    if (reply.result == ServerResult::kNoReply) return -2;
    if (reply.result != ServerResult::kFound) return -3;
    return reply.members["createdDate"] == *stored ? 0 : -4;
}
