// The four ServoSetup lookups: each reads the named setup file line by line, walking its
// memory, model and debug sections, with its state in locals only.
#include <fstream>
#include <string_view>
#include <vector>

#include "definitions/servo_setup.h"
#include "platform/number_text.h"

namespace {

// Section markers, identical bytes in the English and the Chinese files (code page 936).
constexpr std::string_view kMemoryOpen = "\x5B\xC4\xDA\xB4\xE6\x5D";
constexpr std::string_view kMemoryClose = "\x5B\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kModelOpen = "\x5B\xD0\xCD\xBA\xC5\x5D";
constexpr std::string_view kModelClose = "\x5B\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kDebugOpen = "\x5B\xB5\xF7\xCA\xD4\x5D";
constexpr std::string_view kDebugClose = "\x5B\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8\x5D";

bool IsMarker(std::string_view line) {
    return line == kMemoryOpen || line == kMemoryClose || line == kModelOpen ||
           line == kModelClose || line == kDebugOpen || line == kDebugClose;
}

// Reads a file line by line; a line ends at LF or CR LF and the end is not part of it.
class LineReader {
  public:
    explicit LineReader(const std::string& path) : in_(path, std::ios::binary) {}
    bool is_open() const { return in_.is_open(); }
    bool Next(std::string& line) {
        if (!std::getline(in_, line)) return false;
        // Only a CR that stood before the LF belongs to the line end.
        if (!in_.eof() && !line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

  private:
    std::ifstream in_;
};

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t comma = line.find(',', start);
        if (comma == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A field is a number when, after leading blanks and an optional sign, a digit follows.
bool IsNumber(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && IsBlank(field[i])) ++i;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) ++i;
    return i < field.size() && field[i] >= '0' && field[i] <= '9';
}

// The numbers of a line whose fields are all numbers; empty otherwise.
std::vector<long> LineNumbers(std::string_view line) {
    std::vector<long> numbers;
    for (std::string_view field : SplitFields(line)) {
        if (!IsNumber(field)) return {};
        numbers.push_back(LeadingInt(field));
    }
    return numbers;
}

bool InRange(int low, int x, int high) { return low <= high && low <= x && x <= high; }

uint8_t LowByte(long v) { return static_cast<uint8_t>(static_cast<unsigned long>(v) & 0xFF); }
uint16_t LowWord(long v) { return static_cast<uint16_t>(static_cast<unsigned long>(v) & 0xFFFF); }

bool MemoryKeyMatches(const std::array<uint8_t, 4>& k, const uint8_t* ident) {
    return k[0] == ident[0] && (k[3] == 255 || k[3] == ident[2]) && InRange(k[1], ident[1], k[2]);
}

// An entry line's nine fields. Fields the line lacks take values that leave the row inert:
// a placeholder name, one unsigned byte, no area (never read), read-only, no limits.
void FillEntry(MemoryEntry& entry, std::string_view line, std::string_view read_only) {
    static constexpr std::string_view kMissing[9] = {"", "--", "1", "0", "-1", "", "", "-1", "-1"};
    const std::vector<std::string_view> fields = SplitFields(line);
    for (size_t i = 0; i < 9; ++i) {
        if (i < fields.size()) {
            entry.field[i] = std::string(fields[i]);
        } else {
            entry.field[i] = std::string(i == 6 ? read_only : kMissing[i]);
        }
    }
}

void SetEndRow(MemoryEntry& entry) {
    entry.field = {};
    entry.field[0] = "NULL";
}

// One kind of section: its open and close markers, and whether the file holds only one, so
// that its close marker ends the walk.
struct SectionKind {
    std::string_view open;
    std::string_view close;
    bool single;
};

constexpr SectionKind kMemorySections{kMemoryOpen, kMemoryClose, false};
constexpr SectionKind kModelSection{kModelOpen, kModelClose, true};
constexpr SectionKind kDebugSection{kDebugOpen, kDebugClose, true};

// Hands visit(line, first) each line inside a section of the given kind, in file order;
// first is true for the first line after an open marker. The kind's own markers are never
// handed over, other markers are, as ordinary lines. The walk ends at the end of the file,
// when visit returns false, or at the close marker of a single section (even one met
// before its open marker).
template <typename Visit>
void WalkSections(const std::string& path, const SectionKind& kind, Visit&& visit) {
    LineReader reader(path);
    std::string line;
    bool inside = false;
    bool first = false;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kind.open) {
            inside = true;
            first = true;
        } else if (line == kind.close) {
            if (kind.single) return;
            inside = false;
        } else if (inside) {
            if (!visit(std::string_view(line), first)) return;
            first = false;
        }
    }
}

// The four numbers of a memory section's key line; false for any other line.
bool ReadMemoryKey(std::string_view line, std::array<uint8_t, 4>& key) {
    const std::vector<long> numbers = LineNumbers(line);
    if (numbers.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) key[i] = LowByte(numbers[i]);
    return true;
}

}  // namespace

int ServoSetup::LoadMemoryTable(const std::string& file, MemoryEntry* entries, int capacity,
                                const uint8_t* ident) {
    if (entries == nullptr || capacity < 1 || ident == nullptr) return 0;
    bool matched = false;
    int count = 0;
    bool ended = false;  // entries[count] already holds the section's "NULL" line
    WalkSections(PathOf(file), kMemorySections, [&](std::string_view line, bool first) {
        if (matched) {
            // The matched section ends at the next marker; a marker other than its own end
            // means the "NULL" line is missing, and the entries read so far count.
            if (first || IsMarker(line)) return false;
            if (line.empty()) return true;  // a blank line describes no parameter
            if (SplitFields(line)[0] == "NULL") {
                FillEntry(entries[count], line, read_only_word_);
                ended = true;
                return false;
            }
            if (count == capacity - 1) {
                // No room left for the "NULL" row: refuse the model rather than hand back
                // a table with parameters silently missing.
                count = 0;
                return false;
            }
            FillEntry(entries[count], line, read_only_word_);
            ++count;
            return true;
        }
        std::array<uint8_t, 4> key{};
        matched = ReadMemoryKey(line, key) && MemoryKeyMatches(key, ident);
        return true;
    });
    if (!ended) SetEndRow(entries[count]);
    return count;
}

int ServoSetup::HasMemoryTable(const std::string& file, const uint8_t* ident,
                               std::array<uint8_t, 4>* matched) {
    if (ident == nullptr) return 0;
    int found = 0;
    WalkSections(PathOf(file), kMemorySections, [&](std::string_view line, bool) {
        std::array<uint8_t, 4> key{};
        if (!ReadMemoryKey(line, key) || !MemoryKeyMatches(key, ident)) return true;
        if (matched != nullptr) *matched = key;
        found = 1;
        return false;
    });
    return found;
}

std::string ServoSetup::LookupModelName(const std::string& file, uint8_t* ident) {
    if (ident == nullptr) return kUnknownModel;
    std::string found = kUnknownModel;
    WalkSections(PathOf(file), kModelSection, [&](std::string_view line, bool) {
        // Four numbers, then the name: the whole rest of the line.
        size_t start = 0;
        std::array<uint8_t, 4> key{};
        for (size_t i = 0; i < 4; ++i) {
            const size_t comma = line.find(',', start);
            if (comma == std::string_view::npos) return true;  // not a model line
            const std::string_view field = line.substr(start, comma - start);
            if (!IsNumber(field)) return true;
            key[i] = LowByte(LeadingInt(field));
            start = comma + 1;
        }
        const std::string_view rest = line.substr(start);
        // A further comma means the line gives no name, though its key may still match.
        const std::string name =
            rest.find(',') == std::string_view::npos ? std::string(rest) : kUnknownModel;

        if (key[0] != ident[3]) return true;
        if (ident[2] == 255) {
            ident[2] = key[3];
        } else if (key[3] != ident[2] || !InRange(key[1], ident[4], key[2])) {
            return true;
        }
        found = name;
        return false;
    });
    return found;
}

int ServoSetup::LookupDebugRow(const std::string& file, const uint8_t* ident, DebugRow& row) {
    if (ident == nullptr) return 0;
    int found = 0;
    WalkSections(PathOf(file), kDebugSection, [&](std::string_view line, bool) {
        const std::vector<long> numbers = LineNumbers(line);
        DebugRow candidate{};
        if (numbers.size() != candidate.size()) return true;
        for (size_t i = 0; i < candidate.size(); ++i) candidate[i] = LowWord(numbers[i]);
        if (candidate[0] != ident[0] || candidate[3] != ident[2] ||
            !InRange(candidate[1], ident[1], candidate[2])) {
            return true;
        }
        row = candidate;
        found = 1;
        return false;
    });
    return found;
}
