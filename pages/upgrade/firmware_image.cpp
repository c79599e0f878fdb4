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
    if (type != 0) return 1;
    int sum = count + hi + lo;
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        bytes[static_cast<size_t>(k)] = static_cast<uint8_t>(ByteAt(line, 9 + 2 * k));
        sum += bytes[static_cast<size_t>(k)];
    }
    sum += ByteAt(line, 9 + 2 * static_cast<size_t>(count));
    if ((sum & 0xFF) != 0) return -1;
    // A record holds 16 bytes: longer data records become consecutive 16-byte records.
    const int offset = hi * 256 + lo;
    for (int start = 0; start < count; start += 16) {
        Hex rec;
        rec.count = std::min(16, count - start);
        rec.address = offset + start;
        std::copy_n(bytes.begin() + start, rec.count, rec.bytes.begin());
        image.records.push_back(rec);
    }
    return 1;
}

void AssembleHex(FirmwareImage& image) {
    std::stable_sort(image.records.begin(), image.records.end(),
                     [](const Hex& a, const Hex& b) { return a.address < b.address; });
    image.length = 0;
    if (image.records.empty()) return;
    const int base = image.records.front().address;
    for (const Hex& rec : image.records) {
        // Offsets are 16 bits and a split record may run past 0xFFFF by at most 15 bytes,
        // so every end stays far inside the 131,072-byte buffer.
        const auto at = static_cast<uint32_t>(rec.address - base);
        std::copy_n(rec.bytes.begin(), rec.count, image.data.begin() + at);
        image.length = std::max(image.length, at + static_cast<uint32_t>(rec.count));
    }
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

LoadResult LoadHexFile(FirmwareImage& image, const std::string& path) {
    image.length = 0;
    File f(std::fopen(path.c_str(), "r+b"));
    if (!f) return LoadResult::kCannotOpen;
    image.Clear();
    std::string line;
    int c;
    bool more = true;
    while (more) {
        line.clear();
        while ((c = std::fgetc(f.get())) != EOF && c != '\n') line.push_back(static_cast<char>(c));
        more = c != EOF;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!more && line.empty()) break;  // the file's last line end
        if (LoadHexLine(image, line) < 0) {
            image.records.clear();
            return LoadResult::kMalformed;
        }
    }
    AssembleHex(image);
    return LoadResult::kLoaded;
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
