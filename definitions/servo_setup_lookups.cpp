// The four ServoSetup lookups: each reads the named setup file line by line, walking its
// memory, model and debug sections, with its state in locals only.
#include <fstream>
#include <limits>
#include <string_view>
#include <vector>

#include "definitions/servo_setup.h"

namespace {

// Section markers, identical bytes in the English and the Chinese files (code page 936).
constexpr std::string_view kMemoryOpen = "\x5B\xC4\xDA\xB4\xE6\x5D";
constexpr std::string_view kMemoryClose = "\x5B\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kModelOpen = "\x5B\xD0\xCD\xBA\xC5\x5D";
constexpr std::string_view kModelClose = "\x5B\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kDebugOpen = "\x5B\xB5\xF7\xCA\xD4\x5D";
constexpr std::string_view kDebugClose = "\x5B\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8\x5D";

enum State { kOutside = -1, kMemoryKey = 0, kMemoryMatched = 1, kModel = 2, kDebug = 3 };

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

// The decimal integer at the start of field (blanks, sign, digits); 0 when there is none.
// Saturates at the 32-bit range instead of overflowing.
long ReadNumber(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && IsBlank(field[i])) ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
    constexpr long long kLimit = std::numeric_limits<int32_t>::max();
    long long value = 0;
    for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) {
        value = value * 10 + (field[i] - '0');
        if (value > kLimit + 1) value = kLimit + 1;
    }
    if (negative) return static_cast<long>(-value);
    return static_cast<long>(value > kLimit ? kLimit : value);
}

// The numbers of a line whose fields are all numbers; empty otherwise.
std::vector<long> LineNumbers(std::string_view line) {
    std::vector<long> numbers;
    for (std::string_view field : SplitFields(line)) {
        if (!IsNumber(field)) return {};
        numbers.push_back(ReadNumber(field));
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

}  // namespace

int ServoSetup::LoadMemoryTable(const std::string& file, MemoryEntry* entries, int capacity,
                                const uint8_t* ident) {
    if (entries == nullptr || capacity < 1 || ident == nullptr) return 0;
    State state = kOutside;
    std::array<uint8_t, 4> key{};
    int count = 0;
    bool ended = false;  // entries[count] already holds the section's "NULL" line
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (state == kMemoryMatched && IsMarker(line)) {
            // The matched section ends here; a marker other than its own end means the
            // "NULL" line is missing, and the entries read so far count.
            break;
        }
        if (line == kMemoryOpen) {
            state = kMemoryKey;
        } else if (line == kMemoryClose) {
            state = kOutside;
        } else if (state == kMemoryKey) {
            const std::vector<long> numbers = LineNumbers(line);
            if (numbers.size() != 4) continue;
            for (size_t i = 0; i < 4; ++i) key[i] = LowByte(numbers[i]);
            if (MemoryKeyMatches(key, ident)) state = kMemoryMatched;
        } else if (state == kMemoryMatched) {
            if (line.empty()) continue;  // a blank line describes no parameter
            if (SplitFields(line)[0] == "NULL") {
                FillEntry(entries[count], line, read_only_word_);
                ended = true;
                break;
            }
            if (count == capacity - 1) {
                // No room left for the "NULL" row: refuse the model rather than hand back
                // a table with parameters silently missing.
                count = 0;
                break;
            }
            FillEntry(entries[count], line, read_only_word_);
            ++count;
        }
    }
    if (!ended) SetEndRow(entries[count]);
    return count;
}

int ServoSetup::HasMemoryTable(const std::string& file, const uint8_t* ident,
                               std::array<uint8_t, 4>* matched) {
    if (ident == nullptr) return 0;
    State state = kOutside;
    std::array<uint8_t, 4> key{};
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kMemoryOpen) {
            state = kMemoryKey;
        } else if (line == kMemoryClose) {
            state = kOutside;
        } else if (state == kMemoryKey) {
            const std::vector<long> numbers = LineNumbers(line);
            if (numbers.size() != 4) continue;
            for (size_t i = 0; i < 4; ++i) key[i] = LowByte(numbers[i]);
            if (MemoryKeyMatches(key, ident)) {
                if (matched != nullptr) *matched = key;
                return 1;
            }
        }
    }
    return 0;
}

std::string ServoSetup::LookupModelName(const std::string& file, uint8_t* ident) {
    if (ident == nullptr) return kUnknownModel;
    State state = kOutside;
    std::array<uint8_t, 4> key{};
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kModelOpen) {
            state = kModel;
            continue;
        }
        if (line == kModelClose) break;
        if (state != kModel) continue;

        // Four numbers, then the name: the whole rest of the line.
        size_t start = 0;
        bool numeric = true;
        std::array<long, 4> numbers{};
        for (size_t i = 0; i < 4 && numeric; ++i) {
            const size_t comma = line.find(',', start);
            if (comma == std::string::npos) {
                numeric = false;
                break;
            }
            const std::string_view field(line.data() + start, comma - start);
            numeric = IsNumber(field);
            numbers[i] = ReadNumber(field);
            start = comma + 1;
        }
        if (!numeric) continue;  // not a model line
        for (size_t i = 0; i < 4; ++i) key[i] = LowByte(numbers[i]);
        const std::string rest = line.substr(start);
        // A further comma means the line gives no name, though its key may still match.
        const std::string name = rest.find(',') == std::string::npos ? rest : kUnknownModel;

        if (key[0] != ident[3]) continue;
        if (ident[2] == 255) {
            ident[2] = key[3];
            return name;
        }
        if (key[3] == ident[2] && InRange(key[1], ident[4], key[2])) {
            return name;
        }
    }
    return kUnknownModel;
}

int ServoSetup::LookupDebugRow(const std::string& file, const uint8_t* ident, DebugRow& row) {
    if (ident == nullptr) return 0;
    State state = kOutside;
    DebugRow found{};
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kDebugOpen) {
            state = kDebug;
            continue;
        }
        if (line == kDebugClose) break;
        if (state != kDebug) continue;
        const std::vector<long> numbers = LineNumbers(line);
        if (numbers.size() != found.size()) continue;
        for (size_t i = 0; i < found.size(); ++i) found[i] = LowWord(numbers[i]);
        if (found[0] == ident[0] && found[3] == ident[2] && InRange(found[1], ident[1], found[2])) {
            row = found;
            return 1;
        }
    }
    return 0;
}
