#include "pages/upgrade/servo_test.h"

CServoTest::CServoTest(Modbus& modbus, Tervion& tervion, ServoSetup& setup, bool chinese)
    : modbus_(modbus), tervion_(tervion), setup_(setup), chinese_(chinese) {}

void CServoTest::SetServo(int id, const ServoInfo* records, int index, int count, int kind,
                          const std::string& model_name) {
    id_ = id;
    kind_ = kind;
    index_ = index;
    model_name_ = model_name;
    // A copy: the main window's array changes with the next search.
    records_.assign(records, records + (count > 0 ? count : 0));
}
