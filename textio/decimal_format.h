// The texts of integer (Iw.m) and fixed-point (Fw.d) output fields, before
// right justification.
//
// A fixed-point value is rounded twice, both times half up: first to 17
// significant digits, decided by the 18th digit of the exact decimal
// expansion of the double, then to d decimals on those digits, showing at most
// 16 significant digits. Below 1 there is no zero before the point:
//     formatFixed(0.5, 2)    -> ".50"
//     formatFixed(2.675, 2)  -> "2.67"   (17 digits: 2.6749999999999998)
//     formatFixed(-0.001, 2) -> ".00"    (rounds to zero: no minus sign)
//     formatFixed(0.2, 0)    -> "0."
// The texts are returned in a compact form, because a layout may ask for far
// more decimals than there are digits: what is beyond the digits is zeros.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gscmerge::textio {

// The text of an Fw.d output field, made by formatFixed, to be written.
struct FormattedFixed {
    bool negative = false;
    char digits[17] = {};  // D: significant digits, the rest of the text's digits are 0
    std::int32_t digitCount = 0;
    std::int64_t before = 0;  // k: digits before the point (negative: zeros after it)
    std::int64_t shown = 0;   // n: digits shown in all

    // The number of characters of the text.
    [[nodiscard]] std::int64_t length() const;

    // Writes the text's length() characters from `out` on; returns their end.
    char* writeTo(char* out) const {
        if (negative) *out++ = '-';
        if (before == 0 && shown == 0) *out++ = '0';
        std::int64_t next = 0;  // index into `digits`
        // `count` digits from `next` on: the significant ones, then zeros.
        auto putDigits = [&](std::int64_t count) {
            std::int64_t i = 0;
            for (; i < count && next < digitCount; ++i) *out++ = digits[next++];
            for (; i < count; ++i) *out++ = '0';
        };
        if (before > 0) putDigits(before);
        *out++ = '.';
        for (std::int64_t i = before; i < 0; ++i) *out++ = '0';
        putDigits(before > 0 ? shown - before : shown);
        return out;
    }

    // Calls put(c) for each character of the text.
    template <class Put>
    void write(Put&& put) const {
        std::int64_t next = 0;  // index into `digits`
        auto digit = [&] { return next < digitCount ? digits[next++] : (++next, '0'); };
        if (negative) put('-');
        if (before == 0 && shown == 0) put('0');
        for (std::int64_t i = 0; i < before; ++i) put(digit());
        put('.');
        for (std::int64_t i = before; i < 0; ++i) put('0');
        const std::int64_t after = before > 0 ? shown - before : shown;
        for (std::int64_t i = 0; i < after; ++i) put(digit());
    }
};

// The text of an Iw.m output field, made by formatInteger, to be written.
struct FormattedInteger {
    bool negative = false;
    char digits[10] = {};
    std::int32_t digitCount = 0;
    std::int64_t zeros = 0;  // zeros that bring the digits up to m

    [[nodiscard]] std::int64_t length() const { return (negative ? 1 : 0) + zeros + digitCount; }

    template <class Put>
    void write(Put&& put) const {
        if (negative) put('-');
        for (std::int64_t i = 0; i < zeros; ++i) put('0');
        for (std::int32_t i = 0; i < digitCount; ++i) put(digits[i]);
    }
};

// Iw.m text of `value`: "-" when negative, zeros up to m digits, the digits
// of |value| (none at all for 0).
[[nodiscard]] FormattedInteger formatInteger(std::int32_t value, std::int32_t minimumDigits);

// Fw.d text of `value` with `decimals` decimals. A value that is not finite
// gives a text longer than any field (asterisks), never digits.
[[nodiscard]] FormattedFixed formatFixed(double value, std::int32_t decimals);

// Room formatFixedTail may write into, just before its `end`.
inline constexpr std::int32_t kFixedTailRoom = 32;

// formatFixed's text of `value` with `decimals` decimals, written so that it
// ends just before `end`, for the texts that fit one 64-bit integer of digits:
// at most 9 decimals and at most 19 digits shown. Returns the text's length;
// -1, having written nothing, for any other text (formatFixed then gives it).
[[nodiscard]] std::int32_t formatFixedTail(double value, std::int32_t decimals, char* end);

// The first 18 significant digits of |value|'s exact decimal expansion,
// truncated, and its decimal exponent e (|value| = 0.d1d2... x 10^e).
// `value` must be finite and not zero.
void exactLeadingDigits(double value, char digits[18], std::int32_t* exponent);

}  // namespace gscmerge::textio
