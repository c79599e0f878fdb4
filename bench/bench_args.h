#pragma once
// The command line the bus benchmarks share: `[count] [--monitor]`, in either order.
#include <algorithm>
#include <string_view>

#include "platform/number_text.h"

struct BenchArgs {
    int count;             // rounds, ticks or seconds per scenario
    bool monitor = false;  // record the transfers into the bus monitor's log
};

// A count that is not a number, or is below floor, runs floor rounds; none runs fallback.
inline BenchArgs ParseBenchArgs(int argc, char** argv, int fallback, int floor) {
    BenchArgs args{fallback};
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--monitor")
            args.monitor = true;
        else
            args.count = std::max(floor, ParseInteger(argv[i]).value_or(0));
    }
    return args;
}
