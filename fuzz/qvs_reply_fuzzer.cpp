// The instruction-protocol master reading whatever the line delivers. Four leading bytes
// choose the transaction (id, address, length, byte order and reply level); the rest is
// the stream the replies are read from, consumed by one transaction after another.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/fuzzed_line.h"
#include "protocol/tervion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    const uint8_t id = data[0], address = data[1], n = data[2], mode = data[3];
    FuzzedLine line(data + 4, size - 4);
    Tervion bus;
    bus.Comm = &line;
    bus.End = mode & 1;
    bus.Level = (mode >> 1) & 1;
    bus.PosAddress = address;

    // The buffer is exactly as long as asked for, so a read past it is caught.
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(n ? n : 1));
    for (int round = 0; round < 8 && !line.exhausted(); ++round) {
        const int got = bus.Read(id, address, buffer, n);
        if (got != 0 && got != n) std::abort();
        bus.AwaitStatus(id);
        bus.WritePosition(id, -100, 10, 500, 0);
        bus.Recovery(id);
        const uint8_t ids[2] = {id, static_cast<uint8_t>(id + 1)};
        bus.SyncWrite(ids, 2, address, buffer, n);
    }
    std::free(buffer);
    return 0;
}
