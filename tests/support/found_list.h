#pragma once
// The list of found devices as the main window hands it to its pages.
#include <span>
#include <vector>

#include "definitions/servo_types.h"

// These records, all of one kind, found at the port's rate.
inline std::vector<FoundServo> FoundList(std::span<const ServoInfo> records,
                                         ServoKind kind = kKindServo) {
    std::vector<FoundServo> found;
    for (const ServoInfo& r : records) found.push_back(FoundServo{r, kind, 0});
    return found;
}

inline std::vector<FoundServo> FoundList(const ServoInfo& record, ServoKind kind = kKindServo) {
    return FoundList(std::span<const ServoInfo>(&record, 1), kind);
}
