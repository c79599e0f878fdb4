#pragma once
// The three parameter-file layouts as pure functions: building a file from the images of
// the last refresh, and taking a file (or a download) apart without reading past its end.
#include <cstdint>
#include <string>
#include <vector>

#include "pages/programming/memory_table.h"

namespace pg {

// Largest parameter file or download accepted; a longer one is refused.
constexpr int kMaxParameterBytes = 508;

enum class FileFormat { kNone, kDat, kXdat, kMdat };

// By the file's extension, compared in lower case; kNone for any other extension.
FileFormat FormatOfPath(const std::string& path);
// By the words a stored file's name contains: "xdat", then "mdat", then "dat".
FileFormat FormatOfStoredName(const std::string& name);

// The areas whose images a file of this format carries.
std::vector<int> AreasOfFormat(FileFormat format);

// File contents. Unknown formats give an empty file.
std::vector<uint8_t> BuildParameterFile(FileFormat format, const AreaLayout& layout,
                                        const Images& images);

// An ".xdat" image taken apart: each block's start address, length and offset in the image.
struct XdatLayout {
    int se = 0, e = 0, sd = 0, d = 0, sx = 0, x = 0;
    int eprom_at = 2, default_at = 0, eprom1_at = 0;
};
// False when the header is cut short or a block reaches past the n bytes read.
bool ParseXdat(const uint8_t* data, int n, XdatLayout& out);

// An ".mdat" image taken apart (little-endian words).
struct MdatBlock {
    uint16_t start = 0;
    std::vector<uint16_t> regs;
};
struct MdatLayout {
    MdatBlock info, eprom, def;
};
bool ParseMdat(const uint8_t* data, int n, MdatLayout& out);

}  // namespace pg
