// VexaUpdate's stream decoder on arbitrary text cut into arbitrary pieces. The first byte
// seeds the piece sizes; the rest is the text. Wherever the cuts fall, the bytes must be
// those of the one-piece decoder applied to the text without its line breaks.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "definitions/server_query.h"
#include "updater/base64_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    unsigned cut = data[0] | 1u;
    const char* text = reinterpret_cast<const char*>(data + 1);
    const size_t n = size - 1;

    std::string streamed;
    Base64StreamDecoder decoder;
    for (size_t at = 0; at < n;) {
        cut = cut * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(n - at, 1 + (cut >> 16) % 1100);
        // Each piece in a buffer of its own size, so a read past a piece is caught.
        std::vector<char> own(text + at, text + at + piece);
        decoder.Feed(own.data(), own.size(), streamed);
        at += piece;
    }
    decoder.Finish(streamed);

    std::string plain;
    for (size_t i = 0; i < n; ++i)
        if (text[i] != '\r' && text[i] != '\n') plain += text[i];
    std::vector<uint8_t> whole(plain.size() / 4 * 3 + 3);
    const int got = DecodeBase64(plain.data(), static_cast<int>(plain.size()), whole.data(),
                                 static_cast<int>(whole.size()));
    if (got < 0 || static_cast<size_t>(got) != streamed.size() ||
        std::memcmp(whole.data(), streamed.data(), streamed.size()) != 0)
        std::abort();
    return 0;
}
