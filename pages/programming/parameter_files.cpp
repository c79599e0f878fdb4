#include "pages/programming/parameter_files.h"

#include <algorithm>
#include <cctype>

namespace pg {

std::vector<int> AreasOfFormat(FileFormat format) {
    switch (format) {
        case FileFormat::kDat:
            return {kEprom};
        case FileFormat::kXdat:
            return {kEprom, kDefault, kEprom1};
        case FileFormat::kMdat:
            return {kInfo, kEprom, kDefault};
        default:
            return {};
    }
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void PutByteBlock(std::vector<uint8_t>& out, const AreaSpan& s,
                  const std::array<uint8_t, kImageBytes>& img) {
    out.push_back(static_cast<uint8_t>(s.start & 0xFF));
    out.push_back(static_cast<uint8_t>(s.length & 0xFF));
    out.insert(out.end(), img.begin(), img.begin() + s.length);
}

void PutWord(std::vector<uint8_t>& out, int w) {
    out.push_back(static_cast<uint8_t>(w & 0xFF));
    out.push_back(static_cast<uint8_t>((w >> 8) & 0xFF));
}

void PutRegisterBlock(std::vector<uint8_t>& out, const AreaSpan& s,
                      const std::array<uint16_t, kImageRegisters>& img) {
    PutWord(out, s.start);
    PutWord(out, s.length);
    for (int k = 0; k < s.length; ++k) PutWord(out, img[k]);
}

}  // namespace

FileFormat FormatOfPath(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileFormat::kNone;
    const std::string ext = Lower(path.substr(dot + 1));
    if (ext == "dat") return FileFormat::kDat;
    if (ext == "xdat") return FileFormat::kXdat;
    if (ext == "mdat") return FileFormat::kMdat;
    return FileFormat::kNone;
}

FileFormat FormatOfStoredName(const std::string& name) {
    if (name.find("xdat") != std::string::npos) return FileFormat::kXdat;
    if (name.find("mdat") != std::string::npos) return FileFormat::kMdat;
    if (name.find("dat") != std::string::npos) return FileFormat::kDat;
    return FileFormat::kNone;
}

std::vector<uint8_t> BuildParameterFile(FileFormat format, const AreaLayout& l, const Images& img) {
    std::vector<uint8_t> out;
    const AreaSpan& ep = l.area[kEprom];
    switch (format) {
        case FileFormat::kDat:
            out.assign(img.bytes[kEprom].begin(), img.bytes[kEprom].begin() + ep.length);
            break;
        case FileFormat::kXdat:
            PutByteBlock(out, ep, img.bytes[kEprom]);
            PutByteBlock(out, l.area[kDefault], img.bytes[kDefault]);
            if (l.area[kEprom1].length != 0) PutByteBlock(out, l.area[kEprom1], img.bytes[kEprom1]);
            break;
        case FileFormat::kMdat:
            PutRegisterBlock(out, l.area[kInfo], img.regs[kInfo]);
            PutRegisterBlock(out, ep, img.regs[kEprom]);
            PutRegisterBlock(out, l.area[kDefault], img.regs[kDefault]);
            break;
        case FileFormat::kNone:
            break;
    }
    return out;
}

bool ParseXdat(const uint8_t* data, int n, XdatLayout& o) {
    if (n < 2) return false;
    o.se = data[0];
    o.e = data[1];
    if (n < 4 + o.e) return false;
    o.sd = data[2 + o.e];
    o.d = data[3 + o.e];
    o.default_at = 4 + o.e;
    if (n < o.default_at + o.d) return false;
    o.sx = o.x = 0;
    o.eprom1_at = 6 + o.e + o.d;
    if (n >= o.e + o.d + 6) {
        o.sx = data[4 + o.e + o.d];
        o.x = data[5 + o.e + o.d];
        if (n < o.eprom1_at + o.x) return false;
    }
    return true;
}

bool ParseMdat(const uint8_t* data, int n, MdatLayout& o) {
    const int words = n / 2;
    auto word = [&](int k) { return static_cast<uint16_t>(data[2 * k] | data[2 * k + 1] << 8); };
    int at = 0;
    for (MdatBlock* b : {&o.info, &o.eprom, &o.def}) {
        if (at + 2 > words) return false;
        b->start = word(at);
        const int count = word(at + 1);
        at += 2;
        if (at + count > words) return false;
        b->regs.clear();
        for (int k = 0; k < count; ++k) b->regs.push_back(word(at + k));
        at += count;
    }
    return true;
}

}  // namespace pg
