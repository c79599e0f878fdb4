// An Intel HEX file of arbitrary text, line by line as the Upgrade page reads it, then
// assembled into the firmware image. The image must span exactly from the lowest record to
// the furthest record end, stay inside the buffer (or be refused, empty, when the records
// span more), and hold the record placed last.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "pages/upgrade/firmware_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FirmwareImage image;
    image.Clear();
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        at = end + 1;
        const int r = LoadHexLine(image, line);
        if (r != 1 && r != -1) std::abort();
        if (r < 0) break;
    }
    for (const Hex& rec : image.records)
        if (rec.count < 0 || rec.count > 16 || rec.address < 0 || rec.address > 0xFFFF + 240)
            std::abort();
    const bool assembled = AssembleHex(image);
    if (image.records.empty()) {
        if (image.length != 0 || !assembled) std::abort();
        return 0;
    }
    // Records are placed by their full addresses.
    auto place = [](const Hex& rec) { return uint64_t(rec.upper) + uint64_t(rec.address); };
    const uint64_t base = place(image.records.front());
    uint64_t furthest = 0;
    for (const Hex& rec : image.records) {
        if (place(rec) < base) std::abort();  // not sorted
        furthest = std::max(furthest, place(rec) - base + uint64_t(rec.count));
    }
    if (!assembled) {
        if (furthest <= FirmwareImage::kCapacity || image.length != 0) std::abort();
        return 0;
    }
    if (image.length != furthest || image.length > FirmwareImage::kCapacity) std::abort();
    const Hex& last = image.records.back();
    for (int k = 0; k < last.count; ++k)
        if (image.data[static_cast<size_t>(place(last) - base + k)] != last.bytes[k]) std::abort();
    return 0;
}
