#pragma once
// The servo's live state as the Debug page's poll reads it, and the pure conversions around
// it: feedback block layouts, byte order, sign-magnitude, the edits' number encodings and
// the texts of the feedback statics.
#include <array>
#include <cstdint>
#include <string>

#include "definitions/servo_types.h"

// Bytes read from the feedback start address of an instruction-protocol servo.
constexpr int kFeedbackBlockSize = 17;
// The PWM family keeps the same values in a 16-byte block of its own order.
constexpr int kPwmFeedbackSize = 16;
// Holding registers read from register 256 of a Modbus servo.
constexpr int kModbusFeedbackRegisters = 10;
constexpr uint16_t kModbusFeedbackRegister = 256;

using FeedbackBlock = std::array<uint8_t, kFeedbackBlockSize>;

// One decoded poll: every value the page shows, records and draws.
struct Feedback {
    int16_t position = 0;
    int16_t speed = 0;
    int16_t load = 0;
    int16_t goal = 0;
    int16_t current = 0;
    int16_t fast_slow = 0;
    int voltage = 0;      // tenths of a volt
    int temperature = 0;  // degrees
    int moving = 0;
    uint8_t error = 0;  // status bits (error byte)
};

// Number of bytes the poll reads for a debug row's feedback start and end addresses: the
// span, at most the block size of the kind (17, or 16 for the PWM family); an end below the
// start reads the whole block.
int FeedbackLength(uint16_t start, uint16_t end, ServoKind kind);

// Moves the PWM family's fields (16 bytes) into the instruction-protocol layout.
FeedbackBlock ReorderPwmBlock(const uint8_t* pwm);

// Decodes a feedback block of kind 0 (sign-magnitude) or kind 1 (two's complement) read with
// byte order end (0 low byte first, otherwise high byte first).
Feedback DecodeBlock(const FeedbackBlock& block, uint8_t end, ServoKind kind, uint8_t error);

// Decodes the ten Modbus feedback registers from register 256.
Feedback DecodeModbus(const uint16_t* registers);

// Sign-magnitude: bit sign_bit is the sign, the bits below it the magnitude.
int16_t SignMagnitude(uint16_t raw, int sign_bit);

// The integer at the start of an edit's text: optional blanks and sign, then digits; 0 when
// there are none. Saturates at the 32-bit limits.
int ReadInt(const std::string& text);

// Speed as sent: for kind 0 a negative speed is its magnitude with bit 15 set.
uint16_t EncodeSpeed(int speed, ServoKind kind);
// Time as sent (every kind): a negative time is its magnitude with bit 10 set.
uint16_t EncodeTime(int time);

// "%d.%d V" of a voltage in tenths of a volt.
std::string VoltageText(int tenths);
