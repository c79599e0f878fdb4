#pragma once
// Texts that become numbers: option values, fields of files, what the user typed.
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

// The whole of text as an integer within [low, high]. One leading '-' is allowed, nothing
// else besides the digits: no blanks, no '+', nothing after the number. Base 10 or 16, or 0
// for the prefix to decide ("0x" hexadecimal, a leading '0' octal, otherwise decimal).
// Empty text, a stray character or a value out of range gives nullopt.
std::optional<long long> ParseInteger(std::string_view text, long long low, long long high,
                                      int base = 10);

template <class T = int>
std::optional<T> ParseInteger(std::string_view text, int base = 10) {
    const auto v =
        ParseInteger(text, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), base);
    if (!v) return std::nullopt;
    return static_cast<T>(*v);
}

// The decimal number text begins with, for fields that have always been read that way:
// leading blanks and one sign are skipped, reading stops at the first character that is not
// a digit, text without digits gives 0, and a value beyond the range of long long stops at
// its end instead of overflowing.
long long LeadingInteger(std::string_view text);

// LeadingInteger stopped at the ends of int instead.
int LeadingInt(std::string_view text);
