#include "tools/sim/model_catalog.h"

#include <array>
#include <vector>

#include "definitions/servo_setup.h"
#include "platform/number_text.h"
#include "platform/settings_store.h"
#include "platform/string_table.h"

namespace sim {
namespace {

constexpr int kCapacity = 254;

int Number(const std::string& text) { return static_cast<int>(LeadingInteger(text)); }

const ModelEntry* FindEntry(const ServoModel& m, int address) {
    for (const ModelEntry& e : m.entries)
        if (e.address == address) return &e;
    return nullptr;
}

ServoModel BuiltIn(Family family) {
    switch (family) {
        case Family::kPwm:
            return BuiltInPwmModel();
        case Family::kModbus:
            return BuiltInModbusModel();
        case Family::kServo:
            break;
    }
    return BuiltInServoModel();
}

}  // namespace

ModelCatalog::ModelCatalog(std::string setup_dir) : setup_dir_(std::move(setup_dir)) {}

std::optional<ServoModel> ModelCatalog::FromSetup(Family family,
                                                  const ModelIdentity& identity) const {
    if (setup_dir_.empty()) return std::nullopt;
    StringTable strings(false);
    // The lookups never write settings; the store only satisfies the constructor.
    SettingsStore settings(setup_dir_);
    ServoSetup setup(strings, settings);
    setup.SetFolders(setup_dir_);
    const std::string& file = family == Family::kModbus ? setup.ModbusName()
                              : family == Family::kPwm  ? setup.PwmName()
                                                        : setup.MainName();
    uint8_t ident[9] = {identity.fw_major,
                        identity.fw_minor,
                        identity.variant,
                        identity.model_major,
                        identity.model_minor,
                        0,
                        0,
                        0,
                        0};
    std::vector<MemoryEntry> rows(kCapacity);
    const int count = setup.LoadMemoryTable(file, rows.data(), kCapacity, ident);
    if (count <= 0) return std::nullopt;

    ServoModel m;
    m.family = family;
    m.fw_major = identity.fw_major;
    m.fw_minor = identity.fw_minor;
    m.model_major = identity.model_major;
    m.model_minor = identity.model_minor;
    m.name = setup.LookupModelName(file, ident);
    for (int i = 0; i < count; ++i) {
        const MemoryEntry& row = rows[i];
        ModelEntry e;
        e.address = Number(row.field[0]);
        e.size = Number(row.field[2]);
        e.value = Number(row.field[3]);
        e.sign = Number(row.field[4]);
        // Read-only by area or by the access word of either language ("r", "只读").
        e.read_only =
            row.field[5] == "RONLY" || row.field[6] == "r" || row.field[6] == "\xD6\xBB\xB6\xC1";
        const std::string& area = row.field[5];
        if (area == "EPROM" || area == "EPROM1") e.store = Store::kEprom;
        if (area == "DEFAULT" || area == "INFO") e.store = Store::kDefault;
        // Names as the English setup files spell them.
        const std::string& name = row.field[1];
        if (name == "Lock") m.lock_address = e.address;
        if (name == "baud rate" && family == Family::kPwm) m.pwm_baud_address = e.address;
        if (name == "Ack Level" && family == Family::kPwm) m.pwm_level_address = e.address;
        m.entries.push_back(e);
    }
    DebugRow row{};
    if (setup.LookupDebugRow(file, ident, row)) {
        m.debug.present = true;
        m.debug.feedback_start = row[4] & 0xFF;
        m.debug.feedback_end = row[5] & 0xFF;
        m.debug.motion_address = row[6] & 0xFF;
        m.debug.position_divisor = row[7] ? row[7] : 1;
        m.debug.pwm_goal_address = row[9] & 0xFF;
        m.debug.torque_address = row[10] & 0xFF;
    } else if (family == Family::kModbus) {
        m.debug.present = true;  // Modbus registers are fixed; only the span is missing
    }
    // Supply voltage, ambient temperature and resting position as the model's table
    // shows them by default, where it has them.
    const int f = m.debug.feedback_start;
    const bool modbus = family == Family::kModbus;
    const bool pwm = family == Family::kPwm;
    const int voltage_at = modbus ? 260 : pwm ? f + 9 : f + 6;
    const int temperature_at = modbus ? 261 : pwm ? f + 8 : f + 7;
    const int position_at = modbus ? 257 : f;
    if (m.debug.present) {
        if (const ModelEntry* v = FindEntry(m, voltage_at); v && v->value > 0 && v->value < 256)
            m.voltage = static_cast<uint8_t>(v->value);
        if (const ModelEntry* t = FindEntry(m, temperature_at); t && t->value > 0 && t->value < 120)
            m.ambient = t->value;
        if (const ModelEntry* p = FindEntry(m, position_at); p && p->value > 0)
            m.start_position = p->value;
    }
    return m;
}

ServoModel ModelCatalog::Resolve(Family family, const std::optional<ModelIdentity>& identity,
                                 std::string* note) const {
    if (identity) {
        if (auto m = FromSetup(family, *identity)) return *m;
    }
    ServoModel m = BuiltIn(family);
    if (identity) {
        if (note && !setup_dir_.empty()) *note = "no setup-file model for that identity";
        m.fw_major = identity->fw_major;
        m.fw_minor = identity->fw_minor;
        m.model_major = identity->model_major;
        m.model_minor = identity->model_minor;
    }
    return m;
}

}  // namespace sim
