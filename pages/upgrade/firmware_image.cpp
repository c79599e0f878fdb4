#include "pages/upgrade/firmware_image.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

int ByteAt(const std::string& line, size_t pos) {
    return HexDigit(line[pos]) * 16 + HexDigit(line[pos + 1]);
}

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

}  // namespace

void FirmwareImage::Clear() {
    length = 0;
    upper = 0;
    std::fill(data.begin(), data.end(), uint8_t{0xFF});
    records.clear();
}

int LoadHexLine(FirmwareImage& image, const std::string& line) {
    const size_t n = line.size();
    if (n < 11 || line[0] != ':') return -1;
    for (size_t k = 1; k < n; ++k)
        if (HexDigit(line[k]) < 0) return -1;
    const int count = ByteAt(line, 1);
    const int hi = ByteAt(line, 3), lo = ByteAt(line, 5);
    const int type = ByteAt(line, 7);
    if (static_cast<size_t>(count) != (n - 11) / 2) return -1;
    int sum = count + hi + lo + type;
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        bytes[static_cast<size_t>(k)] = static_cast<uint8_t>(ByteAt(line, 9 + 2 * k));
        sum += bytes[static_cast<size_t>(k)];
    }
    sum += ByteAt(line, 9 + 2 * static_cast<size_t>(count));
    // An extended address moves every later record, so it must be well formed itself.
    if (type == 2 || type == 4) {
        if (count != 2 || (sum & 0xFF) != 0) return -1;
        const uint32_t value = bytes[0] * 256u + bytes[1];
        image.upper = type == 4 ? value << 16 : value << 4;
        return 1;
    }
    if (type != 0) return 1;
    if ((sum & 0xFF) != 0) return -1;
    // A record holds 16 bytes: longer data records become consecutive 16-byte records.
    // An empty one is kept: as the lowest record it still sets where the image starts.
    const int offset = hi * 256 + lo;
    int start = 0;
    do {
        Hex rec;
        rec.count = std::min(16, count - start);
        rec.address = offset + start;
        rec.upper = image.upper;
        std::copy_n(bytes.begin() + start, rec.count, rec.bytes.begin());
        image.records.push_back(rec);
        start += 16;
    } while (start < count);
    return 1;
}

bool AssembleHex(FirmwareImage& image) {
    image.length = 0;
    if (image.records.empty()) return true;
    // Records are placed by their full addresses from the lowest; under one extended address
    // that is their load offsets, and a second 64 KiB part lands behind the first.
    auto place = [](const Hex& rec) {
        return static_cast<uint64_t>(rec.upper) + static_cast<uint64_t>(rec.address);
    };
    std::stable_sort(image.records.begin(), image.records.end(),
                     [&](const Hex& a, const Hex& b) { return place(a) < place(b); });
    const uint64_t base = place(image.records.front());
    uint64_t length = 0;
    for (const Hex& rec : image.records)
        length = std::max(length, place(rec) - base + static_cast<uint64_t>(rec.count));
    if (length > FirmwareImage::kCapacity) return false;
    for (const Hex& rec : image.records)
        std::copy_n(rec.bytes.begin(), rec.count, image.data.begin() + (place(rec) - base));
    image.length = static_cast<uint32_t>(length);
    return true;
}

FirmwareFile FirmwareFileKind(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FirmwareFile::kOther;
    std::string ext = path.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".hex") return FirmwareFile::kHex;
    if (ext == ".bin") return FirmwareFile::kBus;
    if (ext == ".fbin") return FirmwareFile::kPwm;
    if (ext == ".mbin") return FirmwareFile::kModbus;
    if (ext == ".xbin") return FirmwareFile::kOpen;
    return FirmwareFile::kOther;
}

LoadResult LoadHexText(FirmwareImage& image, const std::string& text) {
    image.Clear();
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (LoadHexLine(image, line) < 0) {
            image.records.clear();
            return LoadResult::kMalformed;
        }
    }
    if (!AssembleHex(image)) {
        image.records.clear();
        return LoadResult::kTooLong;
    }
    return LoadResult::kLoaded;
}

LoadResult LoadHexFile(FirmwareImage& image, const std::string& path) {
    image.length = 0;
    File f(std::fopen(path.c_str(), "r+b"));
    if (!f) return LoadResult::kCannotOpen;
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) text.append(chunk, got);
    if (std::ferror(f.get())) return LoadResult::kCannotOpen;
    return LoadHexText(image, text);
}

LoadResult LoadRawFile(FirmwareImage& image, const std::string& path) {
    image.length = 0;
    File f(std::fopen(path.c_str(), "r+b"));
    if (!f) return LoadResult::kCannotOpen;
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return LoadResult::kCannotOpen;
    const long size = std::ftell(f.get());
    if (size < 0) return LoadResult::kCannotOpen;
    if (static_cast<unsigned long>(size) > FirmwareImage::kCapacity) return LoadResult::kTooLong;
    std::rewind(f.get());
    image.Clear();
    const size_t got = std::fread(image.data.data(), 1, static_cast<size_t>(size), f.get());
    if (got != static_cast<size_t>(size)) {
        image.Clear();
        return LoadResult::kCannotOpen;
    }
    image.length = static_cast<uint32_t>(size);
    return LoadResult::kLoaded;
}
