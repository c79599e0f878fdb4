#include "pages/programming/servo_pg.h"

#include <algorithm>

CServoPG::CServoPG(ServoSetup& setup, BusLock& lock, Modbus& modbus, Tervion& tervion,
                   MainWindowServices& main, bool chinese)
    : setup_(setup),
      lock_(lock),
      modbus_(modbus),
      tervion_(tervion),
      main_(main),
      chinese_(chinese) {}

void CServoPG::SelectServo(int id, const ServoInfo& record, int kind) {
    id_ = id;
    kind_ = kind;
    std::copy(record.begin(), record.begin() + 5, identity_);
}
