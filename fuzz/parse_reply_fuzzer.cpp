// An update-server reply as it would arrive: the outer object, its "data" object, and the
// Base64 content of "wenjian" decoded into the buffers the callers use.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "definitions/server_query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string reply(reinterpret_cast<const char*>(data), size);
    ReplyMap outer;
    ParseReply(outer, reply);
    ReplyMap inner;
    ParseReply(inner, outer["data"]);

    // The parameter-file buffer (508) and the setup-file buffer (51200).
    static std::vector<uint8_t> small(508), large(51200);
    const std::string& content = inner["wenjian"];
    const int length = static_cast<int>(content.size());
    DecodeBase64(content.data(), length, small.data(), static_cast<int>(small.size()));
    DecodeBase64(content.data(), length, large.data(), static_cast<int>(large.size()));
    // The raw bytes as Base64 too: every byte value, line breaks anywhere.
    DecodeBase64(reply.data(), static_cast<int>(reply.size()), small.data(),
                 static_cast<int>(small.size()));
    return 0;
}
