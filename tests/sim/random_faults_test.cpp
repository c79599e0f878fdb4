// Random faults: roughly the chance asked for, every kind turns up, and a seed replays.
#include "tools/sim/random_faults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// What happened to each of n replies of 01 02 03 04: "-" dropped, "x" changed, "+" longer
// (noise before it), "L" late, "." untouched.
std::string Outcomes(int percent, uint32_t seed, int n) {
    sim::FaultInjector faults;
    sim::RandomFaults random;
    random.Set(percent, seed);
    std::string out;
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> reply = {1, 2, 3, 4};
        int late_ms = 0;
        random.Arm(faults);
        if (!faults.Apply(reply, late_ms)) {
            out += '-';
        } else if (late_ms > 0) {
            out += late_ms <= 40 ? 'L' : '?';
        } else if (reply.size() > 4) {
            out += std::vector<uint8_t>(reply.end() - 4, reply.end()) ==
                           std::vector<uint8_t>{1, 2, 3, 4}
                       ? '+'
                       : '?';
        } else {
            out += reply == std::vector<uint8_t>{1, 2, 3, 4} ? '.' : 'x';
        }
    }
    return out;
}

TEST(RandomFaults, ChanceKindsAndSeed) {
    const std::string run = Outcomes(30, 7, 2000);
    const auto count = [&](char c) { return std::count(run.begin(), run.end(), c); };
    EXPECT_EQ(count('?'), 0);
    EXPECT_NEAR(count('.'), 1400, 100);
    for (char kind : {'-', 'x', '+', 'L'}) EXPECT_GT(count(kind), 100) << kind;
    EXPECT_EQ(Outcomes(30, 7, 2000), run);
    EXPECT_NE(Outcomes(30, 8, 2000), run);
    EXPECT_EQ(Outcomes(0, 7, 200), std::string(200, '.'));
}

}  // namespace
