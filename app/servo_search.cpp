#include "app/servo_search.h"

#include <cstdint>

#include "definitions/servo_setup.h"
#include "modbus/rtu.h"
#include "protocol/qvs.h"

ServoSearch::ServoSearch(QVS& qvs, Rtu& rtu, ServoSetup* setup, BusLock& lock)
    : qvs_(qvs), rtu_(rtu), setup_(setup), lock_(lock) {}

std::string ServoSearch::LookupIn(const std::string& file, ServoInfo& record) {
    if (setup_ == nullptr) return {};
    return setup_->LookupModelName(file, record.data());
}

std::optional<SearchHit> ServoSearch::Probe(int id) {
    answered_ = false;
    if (id < 0 || id > 253) return std::nullopt;
    if (auto hit = ProbeInstruction(id)) return hit;
    return ProbeModbus(id);
}

std::optional<SearchHit> ServoSearch::ProbeInstruction(int id) {
    SearchHit hit;
    int got;
    {
        std::lock_guard<BusLock> g(lock_);
        got = qvs_.Read(static_cast<uint8_t>(id), 0, hit.record.data(), 9);
    }
    if (got != 9) return std::nullopt;
    answered_ = true;
    if (setup_ == nullptr) return hit;

    hit.name = LookupIn(setup_->MainName(), hit.record);
    if (hit.name != ServoSetup::kUnknownModel) {
        hit.kind = kKindServo;
        return hit;
    }
    // Not a servo of the main file: it may be a pulse-width device, whose first four bytes
    // are laid out differently. The rebuilt record stays even when that lookup fails too.
    const ServoInfo r = hit.record;
    hit.record = ServoInfo{r[2], r[1], 0xFF, r[0], 0xFF, r[3], 5, 0xFF, 1};
    hit.name = LookupIn(setup_->PwmName(), hit.record);
    hit.kind = hit.name != ServoSetup::kUnknownModel ? kKindPwm : kKindServo;
    return hit;
}

std::optional<SearchHit> ServoSearch::ProbeModbus(int id) {
    uint16_t identity[4] = {};
    uint16_t settings[3] = {};
    int got_settings = 0;
    {
        // Both reads in one hold, so no other transaction gets between them.
        std::lock_guard<BusLock> g(lock_);
        if (rtu_.ReadHoldingRegisters(static_cast<uint8_t>(id), 0, identity, 4) == 4) {
            answered_ = true;
            got_settings = rtu_.ReadHoldingRegisters(static_cast<uint8_t>(id), 10, settings, 3);
        }
    }
    if (got_settings != 3) return std::nullopt;

    SearchHit hit;
    const uint16_t r0 = identity[0], r1 = identity[1];
    hit.record = ServoInfo{static_cast<uint8_t>(r0 / 100),
                           static_cast<uint8_t>(r0 % 100),
                           1,
                           static_cast<uint8_t>(r1 / 100),
                           static_cast<uint8_t>(r1 % 100),
                           static_cast<uint8_t>(settings[0] & 0xFF),
                           static_cast<uint8_t>(settings[1] & 0xFF),
                           0xFF,
                           1};
    if (setup_ != nullptr) hit.name = LookupIn(setup_->ModbusName(), hit.record);
    hit.kind = kKindModbus;
    return hit;
}
