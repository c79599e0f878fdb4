#include "protocol/qvs.h"

uint8_t QVS::Checksum(const uint8_t* bytes, int n) {
    unsigned sum = 0;
    for (int i = 0; i < n; ++i) sum += bytes[i];
    return static_cast<uint8_t>(~sum);
}
