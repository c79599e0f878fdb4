#include "tools/sim/servo_motion.h"

#include <algorithm>
#include <cmath>

namespace sim {
namespace {
constexpr double kHeatTimeConstant = 60.0;  // seconds
}  // namespace

void ServoMotion::SetAmbient(int degrees) {
    ambient_ = degrees;
    temperature_ = degrees;
}

void ServoMotion::SetAngleLimits(int low, int high) {
    low_limit_ = low;
    high_limit_ = high;
}

void ServoMotion::Command(int goal, int speed, int acc, int time_ms) {
    goal_ = std::clamp(goal, -kGoalLimit, kGoalLimit);
    if (low_limit_ <= high_limit_ && (low_limit_ != 0 || high_limit_ != 0))
        goal_ = std::clamp(goal_, low_limit_, high_limit_);
    const double distance = std::fabs(goal_ - position_);
    if (speed > 0) {
        max_speed_ = speed;
    } else if (time_ms > 0 && distance > 0) {
        max_speed_ = std::max(1.0, distance * 1000.0 / time_ms);
    } else {
        max_speed_ = kDefaultSpeed;
    }
    accel_ = acc > 0 ? acc * 100.0 : 0.0;
}

void ServoMotion::SetTorque(bool on) {
    torque_ = on;
    if (!on) {
        velocity_ = 0;
        last_accel_ = 0;
    }
}

void ServoMotion::SetPosition(int position) {
    position_ = position;
    goal_ = position;
    velocity_ = 0;
}

void ServoMotion::Advance(double seconds) {
    // A long pause (nobody polled for minutes) needs no millisecond replay beyond what
    // settles the shaft and the temperature; cap the work.
    seconds = std::min(seconds, 600.0);
    while (seconds > 0) {
        const double dt = std::min(seconds, 0.001);
        Step(dt);
        seconds -= dt;
    }
}

void ServoMotion::Step(double dt) {
    const double before = velocity_;
    if (torque_) {
        const double remaining = goal_ - position_;
        const double direction = remaining > 0 ? 1.0 : (remaining < 0 ? -1.0 : 0.0);
        double target = direction * max_speed_;
        if (accel_ > 0) {
            // Brake in time to stop at the goal.
            const double braking = std::sqrt(2.0 * accel_ * std::fabs(remaining));
            target = direction * std::min(max_speed_, braking);
            const double change = std::clamp(target - velocity_, -accel_ * dt, accel_ * dt);
            velocity_ += change;
        } else {
            velocity_ = target;
        }
        double next = position_ + velocity_ * dt;
        if ((goal_ - position_) * (goal_ - next) <= 0) {  // reached or passed the goal
            next = goal_;
            velocity_ = 0;
        }
        position_ = next;
    }
    last_accel_ = dt > 0 ? (velocity_ - before) / dt : 0;
    const double heat_target = ambient_ + std::abs(current()) / 20.0;
    temperature_ += (heat_target - temperature_) * std::min(1.0, dt / kHeatTimeConstant);
}

int ServoMotion::position() const { return static_cast<int>(std::lround(position_)); }

int ServoMotion::speed() const { return static_cast<int>(std::lround(velocity_)); }

int ServoMotion::load() const {
    if (!torque_) return 0;
    // Friction grows with speed; accelerating the mass adds to it.
    const double raw = velocity_ * 0.1 + last_accel_ * 0.002;
    return static_cast<int>(std::lround(std::clamp(raw, -1000.0, 1000.0)));
}

int ServoMotion::current() const {
    if (!torque_) return 0;
    const int l = load();
    return l >= 0 ? 20 + l * 2 : -20 + l * 2;
}

int ServoMotion::temperature() const { return static_cast<int>(std::lround(temperature_)); }

bool ServoMotion::moving() const { return velocity_ != 0 || (torque_ && position() != goal_); }

}  // namespace sim
