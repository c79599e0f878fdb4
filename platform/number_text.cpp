#include "platform/number_text.h"

#include <algorithm>
#include <limits>

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

// Accumulates the digits of text[i..] as a magnitude, stopping at the first non-digit;
// the magnitude stops at limit instead of overflowing. Returns how many digits it read.
size_t Accumulate(std::string_view text, size_t i, int base, unsigned long long limit,
                  unsigned long long& magnitude) {
    const size_t start = i;
    magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d = DigitValue(text[i]);
        if (d >= base) break;
        if (magnitude > (limit - static_cast<unsigned>(d)) / static_cast<unsigned>(base))
            magnitude = limit;
        else
            magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(d);
    }
    return i - start;
}

constexpr unsigned long long kMostNegative =
    static_cast<unsigned long long>(std::numeric_limits<long long>::max()) + 1;

long long Signed(bool negative, unsigned long long magnitude) {
    if (!negative) return static_cast<long long>(magnitude);
    if (magnitude == kMostNegative) return std::numeric_limits<long long>::min();
    return -static_cast<long long>(magnitude);
}

}  // namespace

std::optional<long long> ParseInteger(std::string_view text, long long low, long long high,
                                      int base) {
    size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) ++i;
    if (base == 0) {
        if (text.size() > i + 1 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
            base = 16;
            i += 2;
        } else if (text.size() > i + 1 && text[i] == '0') {
            base = 8;
            ++i;
        } else {
            base = 10;
        }
    }
    if (base != 8 && base != 10 && base != 16) return std::nullopt;
    // One past the largest magnitude either sign can hold: anything there is out of range.
    const unsigned long long limit = kMostNegative + 1;
    unsigned long long magnitude = 0;
    const size_t digits = Accumulate(text, i, base, limit, magnitude);
    if (digits == 0 || i + digits != text.size() || magnitude == limit) return std::nullopt;
    if (!negative &&
        magnitude > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
        return std::nullopt;
    const long long v = Signed(negative, magnitude);
    if (v < low || v > high) return std::nullopt;
    return v;
}

long long LeadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    unsigned long long magnitude = 0;
    const unsigned long long limit =
        negative ? kMostNegative
                 : static_cast<unsigned long long>(std::numeric_limits<long long>::max());
    Accumulate(text, i, 10, limit, magnitude);
    return Signed(negative, magnitude);
}

int LeadingInt(std::string_view text) {
    return static_cast<int>(std::clamp<long long>(
        LeadingInteger(text), std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}
