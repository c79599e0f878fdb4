#pragma once
// Command line of vexa-cli: options first, then one command and its arguments. Parsing
// checks every argument, so a usage error is found before the port is touched.
#include <cstdint>
#include <string>
#include <vector>

struct CliOptions {
    std::string port;
    int baud = 115200;
    int parity = 0;    // 0 none, 1 odd, 2 even
    int timeout = 25;  // extra time-out in ms
    int end = 0;       // byte order of 16-bit values
    int level = 1;     // status-reply level
    int pos_address = -1;
    std::string setup_dir;
    bool trace = false;  // every byte on the port to standard error

    // scan [--all-bauds [--margin MS] [--rates R1,R2,...]] [FIRST LAST]
    bool all_bauds = false;
    int first_id = 0, last_id = 253;
    int margin_ms = -1;      // -1: the discovery's default reply margin
    std::vector<int> rates;  // empty: every rate of the main window

    std::string command;
    // The command's numeric arguments in order (ID, ADDR, COUNT, BYTE..., VALUE...).
    // For syncwrite: ADDR, COUNT, then the BYTEs; the ids are in `ids`.
    std::vector<long> numbers;
    std::vector<uint8_t> ids;
    // Text arguments of the update-server commands (fetch: NAME, OUT) and of the
    // Programming page commands (set: NAME VALUE; params: the sub-command and FILE).
    std::vector<std::string> words;
    bool hidden = false;  // set ... --hidden
};

// Fills `options` from argv[1..]; on failure returns false and a one-line reason.
bool ParseCli(const std::vector<std::string>& args, CliOptions& options, std::string& error);

// Decimal or 0x-hexadecimal, optionally negative, within [min, max].
bool ParseNumber(const std::string& text, long min, long max, long& value);

std::string CliUsage();
