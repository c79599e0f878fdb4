#pragma once
// The memory table of the selected model as the Programming page uses it: the seven area
// descriptors, the images the refresh reads into, how a row's bytes become the text of the
// "Value" column, and the rules for editing a row. Pure functions, no bus, no screen.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "definitions/servo_types.h"

struct PgTexts;

namespace pg {

// Areas in the order of the descriptor table.
enum Area : int { kInfo = 0, kEprom, kSram, kRonly, kDefault, kEprom1, kSram1, kAreaCount };

constexpr int kTableRows = 254;       // the "NULL" row included
constexpr int kImageBytes = 254;      // per byte image (kinds 0 and 1)
constexpr int kMaxAreaBytes = 252;    // what one write packet carries
constexpr int kImageRegisters = 128;  // per register image (kind 2)

// Fields of a MemoryEntry.
enum Field : int { kAddress = 0, kName, kSize, kValue, kSign, kArea, kAccess, kMinimum, kMaximum };

// -1 for a text that names none of the seven areas.
int AreaOf(const std::string& name);
// Areas a write opens the lock for, and the button says "Save" for.
bool IsPersistent(const std::string& area);

struct AreaSpan {
    int start = 0;
    int length = 0;
};

struct AreaLayout {
    std::array<AreaSpan, kAreaCount> area{};
    int total = 0;
};

// Descriptors computed from the rows (the list up to, not including, its "NULL" row).
AreaLayout ComputeAreas(const std::vector<MemoryEntry>& rows);
// True when every area can be transferred whole (252 bytes for kinds 0 and 1, 128 registers
// for kind 2) and none runs backwards; a table that does not is refused.
bool FitsImages(const AreaLayout& layout, ServoKind kind);

// What one refresh read: byte images for kinds 0 and 1, register images for kind 2.
struct Images {
    std::array<std::array<uint8_t, kImageBytes>, kAreaCount> bytes{};
    std::array<std::array<uint16_t, kImageRegisters>, kAreaCount> regs{};
};

// Sign-magnitude with sign bit n, in 16-bit arithmetic.
int DecodeSignMagnitude(int raw, int n);
uint16_t EncodeSignMagnitude(int value, int n);

// The "Value" texts a refresh shows: (row, text) for every row it fills; rows of other
// areas, placeholder rows and rows whose bytes lie outside the image keep their text, as do
// rows of an area whose bit in areas_read is clear (never read: the image holds zeros).
std::vector<std::pair<int, std::string>> ValueTexts(const std::vector<MemoryEntry>& rows,
                                                    const AreaLayout& layout, const Images& images,
                                                    ServoKind kind, int end,
                                                    uint32_t areas_read = ~0u);

// The status box text for the error byte: one line (ending CR LF) per set bit in the order
// voltage, heat, current, load, sensor, or "Normal".
std::string StatusText(uint8_t error, const PgTexts& texts);

// Whether a row with this access word may be edited. A click and an Up/Down release treat
// "--" differently: only the click keeps it for hidden mode.
bool Editable(const std::string& access, bool hidden, bool by_click, const PgTexts& texts);

// Fills the "%s" and "%d" of a range message.
std::string RangeMessage(const std::string& pattern, const std::string& name, int limit);

}  // namespace pg
