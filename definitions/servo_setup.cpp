#include "definitions/servo_setup.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>
#include <vector>

#if defined(__unix__) || defined(__APPLE__)
#include <unistd.h>
#endif

#include "definitions/server_file.h"
#include "definitions/server_query.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"
#include "platform/system.h"

const std::string ServoSetup::kUnknownModel = "\xCE\xB4\xD6\xAA\xD0\xCD\xBA\xC5";

namespace {

// Section markers, identical bytes in the English and the Chinese files (code page 936).
constexpr std::string_view kMemoryOpen = "\x5B\xC4\xDA\xB4\xE6\x5D";
constexpr std::string_view kMemoryClose = "\x5B\xC4\xDA\xB4\xE6\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kModelOpen = "\x5B\xD0\xCD\xBA\xC5\x5D";
constexpr std::string_view kModelClose = "\x5B\xD0\xCD\xBA\xC5\xBD\xE1\xCA\xF8\x5D";
constexpr std::string_view kDebugOpen = "\x5B\xB5\xF7\xCA\xD4\x5D";
constexpr std::string_view kDebugClose = "\x5B\xB5\xF7\xCA\xD4\xBD\xE1\xCA\xF8\x5D";

// Read-only words of the two string tables (ids 190), as the setup files spell them.
constexpr std::string_view kReadOnlyEnglish = "r";
constexpr std::string_view kReadOnlyChinese = "\xD6\xBB\xB6\xC1";

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

// Writes bytes to folder + name by way of a file beside it that is renamed over the target,
// so the old copy stays whole until the new one is complete on disk.
bool ReplaceFile(const std::string& folder, const std::string& name, const uint8_t* data,
                 size_t size) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string temp = folder + "." + name + ".part" + std::to_string(stamp) + "-" +
                             std::to_string(counter.fetch_add(1));
    std::FILE* file = std::fopen(temp.c_str(), "wbx");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size && std::fflush(file) == 0;
#if defined(__unix__) || defined(__APPLE__)
    ok = ok && fsync(fileno(file)) == 0;
#endif
    ok = std::fclose(file) == 0 && ok;
    std::error_code error;
    if (ok) std::filesystem::rename(temp, folder + name, error);
    if (!ok || error) {
        std::filesystem::remove(temp, error);
        return false;
    }
    return true;
}

}  // namespace

ServoSetup::ServoSetup(const StringTable& strings, SettingsStore& settings)
    : settings_(settings),
      read_only_word_(strings.chinese() ? kReadOnlyChinese : kReadOnlyEnglish),
      main_name_(strings.Get(180)),
      modbus_name_(strings.Get(179)),
      pwm_name_(strings.Get(210)) {
    current_name_ = main_name_;
}

void ServoSetup::SelectFile(const std::string& name) {
    std::lock_guard<std::mutex> guard(names_lock_);
    current_name_ = name;
}

std::string ServoSetup::CurrentName() const {
    std::lock_guard<std::mutex> guard(names_lock_);
    return current_name_;
}

void ServoSetup::UseLocalFiles() { SetFolders(std::string()); }

void ServoSetup::SetFolders(const std::string& folder) {
    std::string with_separator = folder;
    if (!with_separator.empty() && with_separator.back() != '/' && with_separator.back() != '\\') {
        with_separator += '/';
    }
    std::lock_guard<std::mutex> guard(names_lock_);
    main_folder_ = modbus_folder_ = pwm_folder_ = with_separator;
}

std::string ServoSetup::FolderOf(const std::string& name) const {
    std::lock_guard<std::mutex> guard(names_lock_);
    if (name == main_name_) return main_folder_;
    if (name == modbus_name_) return modbus_folder_;
    if (name == pwm_name_) return pwm_folder_;
    return std::string();
}

std::string ServoSetup::PathOf(const std::string& name) const { return FolderOf(name) + name; }

std::array<uint8_t, 4> ServoSetup::MemoryKey() const {
    std::lock_guard<std::mutex> guard(lock_);
    return memory_key_;
}

const std::string& ServoSetup::FileForKind(int kind) const {
    if (kind == kKindPwm) return pwm_name_;
    if (kind == kKindModbus) return modbus_name_;
    return main_name_;
}

int ServoSetup::LoadMemoryTable(MemoryEntry* entries, int capacity, const uint8_t* ident) {
    return LoadMemoryTable(CurrentName(), entries, capacity, ident);
}

int ServoSetup::HasMemoryTable(const uint8_t* ident, std::array<uint8_t, 4>* matched) {
    return HasMemoryTable(CurrentName(), ident, matched);
}

std::string ServoSetup::LookupModelName(uint8_t* ident) {
    return LookupModelName(CurrentName(), ident);
}

int ServoSetup::LookupDebugRow(const uint8_t* ident, DebugRow& row) {
    return LookupDebugRow(CurrentName(), ident, row);
}

int ServoSetup::LoadMemoryTable(const std::string& file, MemoryEntry* entries, int capacity,
                                const uint8_t* ident) {
    if (entries == nullptr || capacity < 1 || ident == nullptr) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    section_state_ = kOutside;
    int count = 0;
    bool ended = false;  // entries[count] already holds the section's "NULL" line
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (section_state_ == kMemoryMatched && IsMarker(line)) {
            // The matched section ends here; a marker other than its own end means the
            // "NULL" line is missing, and the entries read so far count.
            break;
        }
        if (line == kMemoryOpen) {
            section_state_ = kMemoryKey;
        } else if (line == kMemoryClose) {
            section_state_ = kOutside;
        } else if (section_state_ == kMemoryKey) {
            const std::vector<long> numbers = LineNumbers(line);
            if (numbers.size() != 4) continue;
            for (size_t i = 0; i < 4; ++i) memory_key_[i] = LowByte(numbers[i]);
            if (MemoryKeyMatches(memory_key_, ident)) section_state_ = kMemoryMatched;
        } else if (section_state_ == kMemoryMatched) {
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
    std::lock_guard<std::mutex> guard(lock_);
    section_state_ = kOutside;
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kMemoryOpen) {
            section_state_ = kMemoryKey;
        } else if (line == kMemoryClose) {
            section_state_ = kOutside;
        } else if (section_state_ == kMemoryKey) {
            const std::vector<long> numbers = LineNumbers(line);
            if (numbers.size() != 4) continue;
            for (size_t i = 0; i < 4; ++i) memory_key_[i] = LowByte(numbers[i]);
            if (MemoryKeyMatches(memory_key_, ident)) {
                if (matched != nullptr) *matched = memory_key_;
                return 1;
            }
        }
    }
    return 0;
}

std::string ServoSetup::LookupModelName(const std::string& file, uint8_t* ident) {
    if (ident == nullptr) return kUnknownModel;
    std::lock_guard<std::mutex> guard(lock_);
    section_state_ = kOutside;
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kModelOpen) {
            section_state_ = kModel;
            continue;
        }
        if (line == kModelClose) break;
        if (section_state_ != kModel) continue;

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
        for (size_t i = 0; i < 4; ++i) model_key_[i] = LowByte(numbers[i]);
        const std::string rest = line.substr(start);
        // A further comma means the line gives no name, though its key may still match.
        const std::string name = rest.find(',') == std::string::npos ? rest : kUnknownModel;

        if (model_key_[0] != ident[3]) continue;
        if (ident[2] == 255) {
            ident[2] = model_key_[3];
            return name;
        }
        if (model_key_[3] == ident[2] && InRange(model_key_[1], ident[4], model_key_[2])) {
            return name;
        }
    }
    return kUnknownModel;
}

int ServoSetup::LookupDebugRow(const std::string& file, const uint8_t* ident, DebugRow& row) {
    if (ident == nullptr) return 0;
    std::lock_guard<std::mutex> guard(lock_);
    section_state_ = kOutside;
    LineReader reader(PathOf(file));
    std::string line;
    while (reader.is_open() && reader.Next(line)) {
        if (line == kDebugOpen) {
            section_state_ = kDebug;
            continue;
        }
        if (line == kDebugClose) break;
        if (section_state_ != kDebug) continue;
        const std::vector<long> numbers = LineNumbers(line);
        if (numbers.size() != debug_row_.size()) continue;
        for (size_t i = 0; i < debug_row_.size(); ++i) debug_row_[i] = LowWord(numbers[i]);
        if (debug_row_[0] == ident[0] && debug_row_[3] == ident[2] &&
            InRange(debug_row_[1], ident[1], debug_row_[2])) {
            row = debug_row_;
            return 1;
        }
    }
    return 0;
}

int ServoSetup::StoreFileDate(const std::string& name, const std::string& date) {
    return settings_.Write(name, date) ? 0 : -1;
}

int ServoSetup::IsFileCurrent(const std::string& name, const std::string& folder) {
    {
        std::ifstream local(folder + name, std::ios::binary);
        if (!local.is_open()) return 2;
    }
    ServerReply reply = QueryServer(FileQueryUrl(name));
    if (reply.result != ServerResult::kFound) return 1;
    const std::optional<std::string> stored = settings_.Read(name);
    if (!stored) return 2;
    return *stored == reply.members["createdDate"] ? 1 : 2;
}

bool ServoSetup::Download(const std::string& name, const std::string& folder) {
    ServerReply reply = DownloadServerFile(name, kMaxFileBytes);
    // A file too large for the buffer is refused whole; an empty one is nothing to use.
    if (reply.result != ServerResult::kFound || reply.bytes.empty()) return false;
    // The server names the file; only a plain name keeps the write inside the folder.
    const std::string& file_name = reply.members["filename"];
    if (!IsPlainFileName(file_name)) return false;
    if (!ReplaceFile(folder, file_name, reply.bytes.data(), reply.bytes.size())) return false;
    StoreFileDate(name, reply.members["createdDate"]);
    return true;
}

bool ServoSetup::RefreshFromServer() {
    const std::string temp = TempFolder();
    if (temp.empty()) return false;
    SetFolders(temp);
    int failures = 0;
    for (const std::string* name : {&modbus_name_, &pwm_name_, &main_name_}) {
        const std::string folder = FolderOf(*name);
        if (folder.empty()) continue;
        if (IsFileCurrent(*name, folder) == 1) continue;
        if (!Download(*name, folder)) ++failures;
    }
    return failures < 3;
}
