// A parameter file of arbitrary bytes (at most the 508 a load accepts) taken apart as
// ".xdat" and as ".mdat", in a buffer exactly as long as the file so a read past it is
// caught. Every block a layout names must lie inside the file, and writing the parsed
// blocks back out must give the file's own bytes again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "pages/programming/parameter_files.h"

using namespace pg;

namespace {

void CheckXdat(const uint8_t* file, int n) {
    XdatLayout x;
    if (!ParseXdat(file, n, x)) return;
    if (x.eprom_at + x.e > n || x.default_at + x.d > n || x.default_at != 4 + x.e) std::abort();
    // The EPROM1 block is there exactly when the file reaches past the DEFAULT block's end.
    const bool eprom1 = n >= x.e + x.d + 6;
    if (!eprom1 && (x.x != 0 || x.sx != 0)) std::abort();
    if (x.x != 0 && x.eprom1_at + x.x > n) std::abort();
    if (x.e > kImageBytes || x.d > kImageBytes || x.x > kImageBytes) return;

    AreaLayout layout;
    Images images;
    auto put = [&](Area a, int start, int length, int at) {
        layout.area[a] = {start, length};
        std::memcpy(images.bytes[a].data(), file + at, static_cast<size_t>(length));
    };
    put(kEprom, x.se, x.e, x.eprom_at);
    put(kDefault, x.sd, x.d, x.default_at);
    put(kEprom1, x.sx, x.x, x.eprom1_at);
    const std::vector<uint8_t> again = BuildParameterFile(FileFormat::kXdat, layout, images);
    if (again.size() > static_cast<size_t>(n) || std::memcmp(again.data(), file, again.size()))
        std::abort();
}

void CheckMdat(const uint8_t* file, int n) {
    MdatLayout m;
    if (!ParseMdat(file, n, m)) return;
    const size_t words = m.info.regs.size() + m.eprom.regs.size() + m.def.regs.size() + 6;
    if (2 * words > static_cast<size_t>(n)) std::abort();
    AreaLayout layout;
    Images images;
    const std::pair<Area, const MdatBlock*> blocks[] = {
        {kInfo, &m.info}, {kEprom, &m.eprom}, {kDefault, &m.def}};
    for (const auto& [area, block] : blocks) {
        if (block->regs.size() > static_cast<size_t>(kImageRegisters)) return;
        layout.area[area] = {block->start, static_cast<int>(block->regs.size())};
        std::copy(block->regs.begin(), block->regs.end(), images.regs[area].begin());
    }
    const std::vector<uint8_t> again = BuildParameterFile(FileFormat::kMdat, layout, images);
    if (again.size() != 2 * words || std::memcmp(again.data(), file, again.size())) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int n = static_cast<int>(size < kMaxParameterBytes ? size : kMaxParameterBytes);
    std::vector<uint8_t> file(data, data + n);
    file.shrink_to_fit();
    CheckXdat(file.data(), n);
    CheckMdat(file.data(), n);
    return 0;
}
