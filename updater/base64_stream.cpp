#include "updater/base64_stream.h"

#include "definitions/server_query.h"

void Base64StreamDecoder::Group(std::string& out) {
    const int v1 = Base64Value(group_[0]), v2 = Base64Value(group_[1]);
    out += static_cast<char>((v1 << 2) | (v2 >> 4));
    if (have_ < 3 || group_[2] == '=') return;
    const int v3 = Base64Value(group_[2]);
    out += static_cast<char>(((v2 & 0x0F) << 4) | (v3 >> 2));
    if (have_ < 4 || group_[3] == '=') return;
    out += static_cast<char>(((v3 & 0x03) << 6) | Base64Value(group_[3]));
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
