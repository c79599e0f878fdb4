#include "pages/debug/feedback.h"

#include <cctype>
#include <climits>
#include <cstdio>

namespace {

uint16_t Field16(const FeedbackBlock& b, int offset, uint8_t end) {
    const uint16_t first = b[offset], second = b[offset + 1];
    return end ? static_cast<uint16_t>(first << 8 | second)
               : static_cast<uint16_t>(second << 8 | first);
}

}  // namespace

int FeedbackLength(uint16_t start, uint16_t end, ServoKind kind) {
    const int limit = kind == kKindPwm ? kPwmFeedbackSize : kFeedbackBlockSize;
    if (end < start) return limit;
    const int span = end - start + 1;
    return span < limit ? span : limit;
}

FeedbackBlock ReorderPwmBlock(const uint8_t* pwm) {
    FeedbackBlock b{};
    // Position, speed and load keep their places.
    for (int i = 0; i < 6; ++i) b[i] = pwm[i];
    b[11] = pwm[6];  // goal
    b[12] = pwm[7];
    b[7] = pwm[8];    // temperature
    b[6] = pwm[9];    // voltage
    b[13] = pwm[10];  // current
    b[14] = pwm[11];
    b[10] = pwm[12];  // moving
    b[9] = pwm[13];
    b[15] = pwm[14];  // fast/slow speed
    b[16] = pwm[15];
    return b;
}

int16_t SignMagnitude(uint16_t raw, int sign_bit) {
    const uint16_t sign = static_cast<uint16_t>(1u << sign_bit);
    if (!(raw & sign)) return static_cast<int16_t>(raw);
    return static_cast<int16_t>(-static_cast<int>(raw & ~sign & 0xFFFF));
}

Feedback DecodeBlock(const FeedbackBlock& block, uint8_t end, ServoKind kind, uint8_t error) {
    auto value = [&](int offset, int sign_bit) -> int16_t {
        const uint16_t raw = Field16(block, offset, end);
        // The PWM family sends plain two's complement.
        return kind == kKindServo ? SignMagnitude(raw, sign_bit) : static_cast<int16_t>(raw);
    };
    Feedback f;
    f.position = value(0, 15);
    f.speed = value(2, 15);
    f.load = value(4, 10);
    f.goal = value(11, 15);
    f.current = value(13, 15);
    f.fast_slow = value(15, 15);
    f.voltage = block[6];
    f.temperature = block[7];
    f.moving = block[10];
    f.error = error;
    return f;
}

Feedback DecodeModbus(const uint16_t* r) {
    Feedback f;
    f.error = static_cast<uint8_t>(r[0] & 0xFF);
    f.position = static_cast<int16_t>(r[1]);
    f.speed = static_cast<int16_t>(r[2]);
    f.load = static_cast<int16_t>(r[3]);
    f.voltage = r[4];
    f.temperature = r[5];
    f.moving = r[6];
    f.current = static_cast<int16_t>(r[7]);
    f.goal = static_cast<int16_t>(r[8]);
    f.fast_slow = static_cast<int16_t>(r[9]);
    return f;
}

int ReadInt(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) break;  // saturates below
    }
    if (negative) v = -v;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

uint16_t EncodeSpeed(int speed, ServoKind kind) {
    if (kind != kKindServo || speed >= 0) return static_cast<uint16_t>(speed);
    const unsigned magnitude = 0u - static_cast<unsigned>(speed);
    return static_cast<uint16_t>((magnitude & 0x7FFF) | 0x8000);
}

uint16_t EncodeTime(int time) {
    if (time >= 0) return static_cast<uint16_t>(time);
    const unsigned magnitude = 0u - static_cast<unsigned>(time);
    return static_cast<uint16_t>(magnitude | 0x400);
}

std::string VoltageText(int tenths) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d V", tenths / 10, tenths % 10);
    return text;
}
