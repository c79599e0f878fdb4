// A setup file of arbitrary bytes under all four lookups. The first five bytes of the input
// are the servo's identification record, the sixth the size of the caller's entry array;
// the rest is the file.
#include <stdlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "definitions/servo_setup.h"
#include "fuzz/scratch_folder.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFolder folder;
    static StringTable strings(false);
    static SettingsStore settings(folder.path);
    static ServoSetup setup(strings, settings);
    static bool ready = [] {
        setup.SetFolders(folder.path);
        return true;
    }();
    if (!ready || folder.path.empty() || size < 6) return 0;

    uint8_t ident[9] = {data[0], data[1], data[2], data[3], data[4], 0, 0, 0, 0};
    const std::string path = folder.path + "/" + setup.MainName();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data + 6, 1, size - 6, f);
        std::fclose(f);
    }

    // Exactly as many rows as the caller has, so a row written past them is caught.
    const int capacity = 1 + data[5] % 254;
    std::vector<MemoryEntry> entries(static_cast<size_t>(capacity));
    const int count = setup.LoadMemoryTable(setup.MainName(), entries.data(), capacity, ident);
    // Readers walk the list up to the "NULL" row: it must be inside the array.
    if (count < 0 || count >= capacity || entries[count].field[0] != "NULL") abort();
    std::array<uint8_t, 4> matched{};
    setup.HasMemoryTable(setup.MainName(), ident, &matched);
    setup.LookupModelName(setup.MainName(), ident);
    DebugRow row{};
    setup.LookupDebugRow(setup.MainName(), ident, row);
    return 0;
}
