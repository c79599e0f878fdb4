#pragma once
// The firmware image the Upgrade page sends: read from an Intel HEX file or a raw image
// file, or filled from a download. Display-free; the page turns results into its controls.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One data record of an Intel HEX file, at most 16 bytes (longer records are split).
struct Hex {
    int count = 0;
    int address = 0;     // 16-bit load offset (a split record's later parts run past 0xFFFF)
    uint32_t upper = 0;  // extended linear (x 65536) or segment (x 16) address in force
    std::array<uint8_t, 16> bytes{};
};

struct FirmwareImage {
    static constexpr uint32_t kCapacity = 131072;
    static constexpr int kBlockBytes = 64;

    // Counted in 32 bits: images above 65,535 bytes are sent whole.
    uint32_t length = 0;
    std::vector<uint8_t> data = std::vector<uint8_t>(kCapacity, 0xFF);
    std::vector<Hex> records;
    uint32_t upper = 0;  // the last extended address record's, while reading a HEX file

    void Clear();  // length 0, data all 0xFF, no records, no extended address
    uint32_t BlockCount() const { return (length + kBlockBytes - 1) / kBlockBytes; }
};

// 1 when the line was accepted (stored or skipped), -1 when it is malformed. Extended
// linear and segment address records are checked and remembered for the records after them.
int LoadHexLine(FirmwareImage& image, const std::string& line);
// Builds data and length from the records. Under one extended address they are placed by
// their load offsets from the lowest one; under several, by full address from the lowest,
// so the image equals the flat binary. False, with length 0, when that spans more than
// kCapacity bytes.
bool AssembleHex(FirmwareImage& image);

// How a file is read and what it says about the device.
enum class FirmwareFile { kHex, kBus, kPwm, kModbus, kOpen, kOther };
// By extension, without regard to case.
FirmwareFile FirmwareFileKind(const std::string& path);

enum class LoadResult { kLoaded, kCannotOpen, kMalformed, kTooLong };
// Reads Intel HEX text (lines ended by LF or CR LF) into image (cleared first).
LoadResult LoadHexText(FirmwareImage& image, const std::string& text);
// Reads an Intel HEX file into image (cleared first). The file must be writable, as the
// open dialog's users expect a file they may replace.
LoadResult LoadHexFile(FirmwareImage& image, const std::string& path);
// Reads a raw image file from offset 0; refuses files above kCapacity.
LoadResult LoadRawFile(FirmwareImage& image, const std::string& path);
