#pragma once
// Reading a servo's five identity bytes and telling whether two servos share one memory
// table: what the main window offers the pages, kept free of the window so that vexa-cli
// offers the same.
#include <cstdint>

#include "definitions/servo_types.h"
#include "platform/bus_lock.h"

class QVS;
class Rtu;
class ServoSetup;

// Five identity bytes of the servo of the given kind at id; true when all were read.
bool ReadIdentityFromBus(QVS& qvs, Rtu& rtu, BusLock& lock, int id, uint8_t identity[5],
                         ServoKind kind);
// 0 same memory table, 2 another one, 1 when either side matches none or the read fails.
int CompareModelOnBus(ServoSetup& setup, QVS& qvs, Rtu& rtu, BusLock& lock, int id,
                      const uint8_t identity[5], ServoKind kind);
