#include "updater/base64_stream.h"

#include "definitions/server_query.h"

void Base64StreamDecoder::Group(std::string& out) {
    uint8_t bytes[3];
    const int n = DecodeBase64Group(group_, have_, bytes);
    out.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(n));
}

void Base64StreamDecoder::Feed(const char* text, size_t n, std::string& out) {
    for (size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') continue;
        group_[have_++] = c;
        if (have_ == 4) {
            Group(out);
            have_ = 0;
        }
    }
}

void Base64StreamDecoder::Finish(std::string& out) {
    if (have_ >= 2) Group(out);
    have_ = 0;
}
