#pragma once
// The string-table texts the Debug page uses, loaded once in the interface language.
#include <cstdint>
#include <string>

struct DebugTexts {
    explicit DebugTexts(bool chinese);

    // The error byte as words ("Voltage Heat Current", ...), or "Normal" when no bit is set.
    std::string StateText(uint8_t error) const;

    bool chinese;
    std::string timeout;        // 158
    std::string normal;         // 164
    std::string voltage;        // 167
    std::string current;        // 168
    std::string heat;           // 169
    std::string load;           // 170
    std::string sensor;         // 171
    std::string sweep;          // 188
    std::string step;           // 197
    std::string stop;           // 156, the running cycles' button caption
    std::string record;         // 203, "Export"
    std::string stop_record;    // 204
    std::string data_analysis;  // caption of the recorder's messages
    std::string record_failed;  // %s: the record file
    std::string record_lost;    // %s: the record file; the last write of a recording failed
};
