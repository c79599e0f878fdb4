// Time of each setup-file lookup on the sample files. Every lookup opens and reads the file
// anew, so this is what a servo selection or a search hit costs.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "definitions/servo_setup.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"

namespace {

template <typename F>
void Measure(const char* what, int rounds, F&& lookup) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) lookup();
    const std::chrono::duration<double, std::micro> spent =
        std::chrono::steady_clock::now() - start;
    std::printf("%-44s %8.1f us per lookup\n", what, spent.count() / rounds);
}

}  // namespace

int main() {
    StringTable strings(false);
    SettingsStore settings("/nonexistent-vexa-bench");
    ServoSetup setup(strings, settings);
    setup.SetFolders(std::string(VEXA_RESOURCE_DIR) + "/setup/");
    std::vector<MemoryEntry> rows(254);
    const std::string& file = setup.MainName();
    const int kRounds = 2000;
    Measure("LookupModelName (VX62, second model line)", kRounds, [&] {
        uint8_t ident[5] = {5, 2, 1, 6, 2};
        setup.LookupModelName(file, ident);
    });
    Measure("LookupModelName (no match, whole file)", kRounds, [&] {
        uint8_t ident[5] = {9, 9, 9, 9, 9};
        setup.LookupModelName(file, ident);
    });
    Measure("LoadMemoryTable (VX62, 50 entries)", kRounds, [&] {
        const uint8_t ident[5] = {5, 2, 1, 6, 2};
        setup.LoadMemoryTable(file, rows.data(), 254, ident);
    });
    Measure("HasMemoryTable (VX62)", kRounds, [&] {
        const uint8_t ident[5] = {5, 2, 1, 6, 2};
        setup.HasMemoryTable(file, ident);
    });
    Measure("LookupDebugRow (VX62)", kRounds, [&] {
        const uint8_t ident[5] = {5, 2, 1, 6, 2};
        DebugRow row{};
        setup.LookupDebugRow(file, ident, row);
    });
    return 0;
}
