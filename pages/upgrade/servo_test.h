#pragma once
// The Upgrade page (communication test and firmware upgrade). For now it keeps the
// selection the main window hands it; the test and the upgrade come with the page's own work.
#include <string>
#include <vector>

#include "definitions/servo_types.h"
#include "pages/page_interfaces.h"

class Modbus;
class ServoSetup;
class Tervion;

class CServoTest : public UpgradePage {
  public:
    CServoTest(Modbus& modbus, Tervion& tervion, ServoSetup& setup, bool chinese);

    void SetServo(int id, const ServoInfo* records, int index, int count, int kind,
                  const std::string& model_name) override;
    void StopTest() override {}

    int servo_id() const { return id_; }
    int kind() const { return kind_; }
    const std::string& model_name() const { return model_name_; }
    // Copy of the found servos at the last selection.
    const std::vector<ServoInfo>& records() const { return records_; }
    int index() const { return index_; }

  private:
    Modbus& modbus_;
    Tervion& tervion_;
    ServoSetup& setup_;
    bool chinese_;
    int id_ = -1;
    int kind_ = 0;
    int index_ = -1;
    std::string model_name_;
    std::vector<ServoInfo> records_;
};
