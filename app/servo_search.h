#pragma once
// One probe of the servo search: asks an id with the instruction protocol and, where nothing
// answers, with Modbus RTU, and turns an answer into the row the servo list shows.
// Display-free and thread-free: the main window runs it on its search worker.
#include <optional>
#include <string>

#include "definitions/servo_types.h"
#include "platform/bus_lock.h"

class QVS;
class Rtu;
class ServoSetup;

struct SearchHit {
    ServoInfo record{};
    ServoKind kind = kKindServo;
    std::string name;  // raw setup-file bytes (code page 936 in the Chinese files)
};

class ServoSearch {
  public:
    static constexpr int kSteps = 254;  // ids 253, 0, 1, ..., 252; never the broadcast id

    // Without a setup store the records stay as read (no model names, no PWM-file retry).
    ServoSearch(QVS& qvs, Rtu& rtu, ServoSetup* setup, BusLock& lock);

    // The id probed at step 0..kSteps-1.
    static int IdAt(int step) { return step == 0 ? 253 : step - 1; }

    // The device at id, or nothing when neither protocol gives a valid answer.
    std::optional<SearchHit> Probe(int id);
    // Whether the last Probe got at least one valid reply, also when that did not make a
    // device (a Modbus device that gives its identity but not its settings). Bytes that
    // came back without it were noise or colliding replies.
    bool LastProbeAnswered() const { return answered_; }

    // The model name of record in the named setup file.
    std::string LookupIn(const std::string& file, ServoInfo& record);

  private:
    std::optional<SearchHit> ProbeInstruction(int id);
    std::optional<SearchHit> ProbeModbus(int id);

    QVS& qvs_;
    Rtu& rtu_;
    ServoSetup* setup_;
    BusLock& lock_;
    bool answered_ = false;
};
