#pragma once
// Finds the model for a device: from the setup files in a folder (the English triple:
// memory table, model name, debug row, looked up by the device's identity bytes the way
// the tool looks them up), or from the built-in models when there are no setup files or
// they do not describe that identity.
#include <cstdint>
#include <optional>
#include <string>

#include "tools/sim/servo_model.h"

namespace sim {

struct ModelIdentity {
    uint8_t fw_major = 0;
    uint8_t fw_minor = 0;
    uint8_t variant = 0;  // byte order for instruction servos, 1 for Modbus servos
    uint8_t model_major = 0;
    uint8_t model_minor = 0;
};

class ModelCatalog {
  public:
    // setup_dir empty: built-in models only.
    explicit ModelCatalog(std::string setup_dir);

    // The model of that family and identity from the setup files, if they describe it.
    std::optional<ServoModel> FromSetup(Family family, const ModelIdentity& identity) const;
    // FromSetup, else the built-in model of the family carrying this identity.
    ServoModel Resolve(Family family, const std::optional<ModelIdentity>& identity,
                       std::string* note = nullptr) const;

  private:
    std::string setup_dir_;
};

}  // namespace sim
