#pragma once
// The physical side of a simulated servo: a shaft that moves toward its goal with a
// speed limit and an acceleration ramp while torque is on, and the load, current and
// temperature that follow from it. Units are the bus units: positions in steps, speed
// in steps per second, acceleration in hundreds of steps per second squared, time in ms.
#include <cstdint>

namespace sim {

class ServoMotion {
  public:
    static constexpr int kDefaultSpeed = 2000;  // steps/s when the command gives none
    static constexpr int kGoalLimit = 30719;

    // speed 0 means the default speed; acc 0 means no ramp; time > 0 with speed 0 makes
    // the move take that long.
    void Command(int goal, int speed, int acc, int time_ms);
    // Angle limits of the memory table: later goals outside low..high stop at the limit, as
    // a real servo's do. Both 0 (or low above high) means no limits, as in wheel mode.
    void SetAngleLimits(int low, int high);
    void SetTorque(bool on);
    // Integrates the state over `seconds` in steps of at most one millisecond.
    void Advance(double seconds);
    // Places the shaft (and its goal) at position, at rest.
    void SetPosition(int position);
    void SetVoltage(int tenths) { voltage_ = tenths; }
    // Ambient temperature; the motor starts at it and cools down toward it.
    void SetAmbient(int degrees);

    int position() const;
    int speed() const;        // present speed, steps/s, signed
    int load() const;         // -1000..1000
    int current() const;      // signed like the load
    int temperature() const;  // degrees
    int voltage() const { return voltage_; }
    int goal() const { return goal_; }
    bool moving() const;
    bool torque() const { return torque_; }

  private:
    void Step(double dt);

    double position_ = 0;
    double velocity_ = 0;
    double last_accel_ = 0;
    double temperature_ = 30;
    double ambient_ = 30;
    int goal_ = 0;
    int low_limit_ = 0;
    int high_limit_ = 0;
    double max_speed_ = kDefaultSpeed;
    double accel_ = 0;  // steps/s^2, 0 = no ramp
    bool torque_ = false;
    int voltage_ = 120;
};

}  // namespace sim
