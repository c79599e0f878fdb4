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
    int address = 0;  // 16-bit load offset
    std::array<uint8_t, 16> bytes{};
};

struct FirmwareImage {
    static constexpr uint32_t kCapacity = 131072;
    static constexpr int kBlockBytes = 64;

    // Counted in 32 bits: images above 65,535 bytes are sent whole.
    uint32_t length = 0;
    std::vector<uint8_t> data = std::vector<uint8_t>(kCapacity, 0xFF);
    std::vector<Hex> records;

    void Clear();  // length 0, data all 0xFF, no records
    uint32_t BlockCount() const { return (length + kBlockBytes - 1) / kBlockBytes; }
};

// 1 when the line was accepted (stored or skipped), -1 when it is malformed.
int LoadHexLine(FirmwareImage& image, const std::string& line);
// Sorts the records by load offset (stable) and builds data and length from the first one.
void AssembleHex(FirmwareImage& image);

// How a file is read and what it says about the device.
enum class FirmwareFile { kHex, kBus, kPwm, kModbus, kOpen, kOther };
// By extension, without regard to case.
FirmwareFile FirmwareFileKind(const std::string& path);

enum class LoadResult { kLoaded, kCannotOpen, kMalformed, kTooLong };
// Reads an Intel HEX file into image (cleared first). The file must be writable, as the
// open dialog's users expect a file they may replace.
LoadResult LoadHexFile(FirmwareImage& image, const std::string& path);
// Reads a raw image file from offset 0; refuses files above kCapacity.
LoadResult LoadRawFile(FirmwareImage& image, const std::string& path);
