#include "pages/programming/memory_table.h"

#include <cstdio>

#include "pages/programming/pg_texts.h"
#include "platform/number_text.h"

namespace pg {
namespace {

const char* const kAreaNames[kAreaCount] = {"INFO",    "EPROM",  "SRAM", "RONLY",
                                            "DEFAULT", "EPROM1", "SRAM1"};

bool ShownForBytes(int area) {
    return area == kEprom1 || area == kEprom || area == kSram1 || area == kSram || area == kDefault;
}
bool ShownForRegisters(int area) {
    return area == kInfo || area == kEprom || area == kSram || area == kRonly || area == kDefault;
}

}  // namespace

int AreaOf(const std::string& name) {
    for (int a = 0; a < kAreaCount; ++a)
        if (name == kAreaNames[a]) return a;
    return -1;
}

bool IsPersistent(const std::string& area) {
    return area == "EPROM" || area == "EPROM1" || area == "DEFAULT" || area == "INFO";
}

AreaLayout ComputeAreas(const std::vector<MemoryEntry>& rows) {
    AreaLayout l;
    for (const MemoryEntry& row : rows) {
        const int a = AreaOf(row.field[kArea]);
        if (a < 0) continue;
        const int address = LeadingInt(row.field[kAddress]);
        AreaSpan& s = l.area[a];
        if (s.length == 0) s.start = address;
        s.length = address + LeadingInt(row.field[kSize]) - s.start;
    }
    for (const AreaSpan& s : l.area) l.total += s.length;
    return l;
}

bool FitsImages(const AreaLayout& layout, ServoKind kind) {
    // A byte area goes in one read (at most 253 bytes) and one write (at most 252).
    const int cap = kind == kKindModbus ? kImageRegisters : kMaxAreaBytes;
    for (const AreaSpan& s : layout.area)
        if (s.length < 0 || s.length > cap) return false;
    return true;
}

int DecodeSignMagnitude(int raw, int n) {
    if (n < 0 || n > 15) return static_cast<int16_t>(raw);
    const int bit = 1 << n;
    const int v = (raw & bit) ? -((raw & 0xFFFF) & ~bit) : (raw & 0xFFFF);
    return static_cast<int16_t>(v);
}

uint16_t EncodeSignMagnitude(int value, int n) {
    if (value >= 0 || n < 0 || n > 15) return static_cast<uint16_t>(value);
    return static_cast<uint16_t>((1 << n) | -value);
}

std::vector<std::pair<int, std::string>> ValueTexts(const std::vector<MemoryEntry>& rows,
                                                    const AreaLayout& layout, const Images& images,
                                                    ServoKind kind, int end, uint32_t areas_read) {
    std::vector<std::pair<int, std::string>> out;
    out.reserve(rows.size());
    char buf[16];
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const MemoryEntry& row = rows[i];
        const int a = AreaOf(row.field[kArea]);
        if (a < 0 || row.field[kName] == "--" || (areas_read & (1u << a)) == 0) continue;
        // The offset is taken from the area's start, so that a row is read from its own
        // bytes even when rows of another area stand between two rows of this one.
        const int pos = LeadingInt(row.field[kAddress]) - layout.area[a].start;
        const std::string& sign = row.field[kSign];
        int v = 0;
        if (kind == kKindModbus) {
            if (!ShownForRegisters(a) || pos < 0 || pos >= kImageRegisters) continue;
            const uint16_t r = images.regs[a][pos];
            v = sign == "-2" ? static_cast<int16_t>(r) : r;
        } else {
            if (!ShownForBytes(a) || pos < 0) continue;
            const auto& img = images.bytes[a];
            const std::string& size = row.field[kSize];
            const bool signed_magnitude = sign != "-1" && sign != "-2";
            if (size == "1") {
                if (pos >= kImageBytes) continue;
                v = img[pos];
                if (sign == "-2") v = static_cast<int8_t>(img[pos]);
                if (signed_magnitude) v = DecodeSignMagnitude(v, LeadingInt(sign));
            } else if (size == "2") {
                if (pos + 1 >= kImageBytes) continue;
                v = end == 0 ? img[pos] + 256 * img[pos + 1] : 256 * img[pos] + img[pos + 1];
                if (sign != "-1") v = DecodeSignMagnitude(v, LeadingInt(sign));
            } else {
                continue;
            }
            v = static_cast<int16_t>(v);
        }
        std::snprintf(buf, sizeof buf, "%d", v);
        out.emplace_back(i, buf);
    }
    return out;
}

std::string StatusText(uint8_t error, const PgTexts& t) {
    const std::pair<uint8_t, const std::string*> order[] = {{0x01, &t.voltage},
                                                            {0x04, &t.heat},
                                                            {0x08, &t.current},
                                                            {0x20, &t.load},
                                                            {0x02, &t.sensor}};
    std::string text;
    for (const auto& [bit, word] : order)
        if (error & bit) text += *word + "\r\n";
    return text.empty() ? t.normal : text;
}

bool Editable(const std::string& access, bool hidden, bool by_click, const PgTexts& t) {
    if (access == t.read_only_word) return false;
    if (access == t.default_word) return hidden;
    if (by_click && access == "--") return hidden;
    return true;
}

std::string RangeMessage(const std::string& pattern, const std::string& name, int limit) {
    std::string out = pattern;
    if (const auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, name);
    if (const auto at = out.find("%d"); at != std::string::npos)
        out.replace(at, 2, std::to_string(limit));
    return out;
}

}  // namespace pg
