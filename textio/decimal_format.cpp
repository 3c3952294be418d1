// Exact decimal digits of doubles and the two output roundings.
#include "textio/decimal_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "textio/decimal_tables.h"
#include "textio/wide_multiply.h"

namespace gscmerge::textio {
namespace {

// A fraction numerator below 2^128, as two 64-bit halves.
struct Wide {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    // Multiplies by `factor`; the caller keeps the product below 2^128.
    void multiplyBy(std::uint64_t factor) {
        const WideProduct lower = multiplyWide(low, factor);
        low = lower.low;
        high = high * factor + lower.high;
    }

    // Removes and returns the integer part of this / 2^shift, for a value
    // below 2^(shift + 32).
    std::uint32_t takeInteger(int shift) {
        if (shift >= 64) {
            const int s = shift - 64;
            const auto integer = static_cast<std::uint32_t>(high >> s);
            high &= (std::uint64_t{1} << s) - 1;
            return integer;
        }
        const auto integer = static_cast<std::uint32_t>((high << (64 - shift)) | (low >> shift));
        low &= (std::uint64_t{1} << shift) - 1;
        high = 0;
        return integer;
    }

    [[nodiscard]] bool isZero() const { return high == 0 && low == 0; }
};

// The decimal digits of a chunk below 10^9, `width` of them with leading zeros.
[[gnu::always_inline]] inline void writeChunk(std::uint32_t chunk, int width, char* out) {
    int i = width;
    while (i >= 2) {
        const std::uint32_t pair = chunk % 100;
        chunk /= 100;
        i -= 2;
        out[i] = kDigitPairs[2 * pair];
        out[i + 1] = kDigitPairs[2 * pair + 1];
    }
    if (i == 1) out[0] = static_cast<char>('0' + chunk % 10);
}

int digitCount(std::uint32_t chunk) {
    int count = 1;
    while (chunk >= 10) {
        chunk /= 10;
        ++count;
    }
    return count;
}

int writeDecimal(std::uint64_t value, char* out) {
    if (value < 10) {
        if (value == 0) return 0;
        out[0] = static_cast<char>('0' + value);
        return 1;
    }
    char reversed[20];
    int count = 0;
    while (value > 0) {
        reversed[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    for (int i = 0; i < count; ++i) out[i] = reversed[count - 1 - i];
    return count;
}

// |value| = mantissa x 2^power with the fewest mantissa bits.
void decompose(double value, std::uint64_t* mantissa, int* power) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int q = -1074;
    if (biased != 0) {
        m |= std::uint64_t{1} << 52;
        q = biased - 1075;
    }
    // Strip the trailing zero bits (keeping the value an integer x 2^q, q <= 0
    // stays q <= 0).
    if (m != 0 && q < 0) {
        const int zeros = std::countr_zero(m) < -q ? std::countr_zero(m) : -q;
        m >>= zeros;
        q += zeros;
    }
    *mantissa = m;
    *power = q;
}

// The exact expansion printed in full: rare values (below 2^-72 or above
// 2^64) only; no allocation, no locale.
void slowLeadingDigits(double value, char digits[18], std::int32_t* exponent) {
    char text[1100];
    const std::to_chars_result printed = std::to_chars(
        text, text + sizeof(text), value < 0 ? -value : value, std::chars_format::scientific, 800);
    digits[0] = text[0];
    std::memcpy(digits + 1, text + 2, 17);
    const char* mark = static_cast<const char*>(
        std::memchr(text, 'e', static_cast<std::size_t>(printed.ptr - text)));
    int decimalExponent = 0;
    std::from_chars(mark[1] == '+' ? mark + 2 : mark + 1, printed.ptr, decimalExponent);
    *exponent = decimalExponent + 1;
}

// 5^0 to 5^22: 10^s = 5^s x 2^s, and 5^22 < 2^52.
struct PowersOfFive {
    std::uint64_t values[23] = {};
    constexpr PowersOfFive() {
        std::uint64_t power = 1;
        for (std::uint64_t& value : values) {
            value = power;
            power *= 5;
        }
    }
};
constexpr PowersOfFive kPowersOfFive;

// floor(product / 2^shift), -64 < shift < 128, when it is below 2^64; false
// when it is not.
[[gnu::always_inline]] inline bool narrowShift(WideProduct product, int shift, std::uint64_t* out) {
    if (shift >= 64) {
        *out = product.high >> (shift - 64);
        return true;
    }
    if (shift > 0) {
        if ((product.high >> shift) != 0) return false;
        *out = (product.high << (64 - shift)) | (product.low >> shift);
        return true;
    }
    if (product.high != 0) return false;
    if (shift == 0) {
        *out = product.low;
        return true;
    }
    const int left = -shift;
    if ((product.low >> (64 - left)) != 0) return false;
    *out = product.low << left;
    return true;
}

// The 18 leading digits of |value| as one integer, truncated, for the values
// fields usually show (normal values from about 1e-5 to below 10^18): with
// |value| = m x 2^q, they are floor(m x 10^s x 2^q) = floor(m x 5^s / 2^(-q-s))
// for s = 18 - e, one 64 x 64-bit product as m < 2^53 and s <= 22. False,
// with nothing decided, elsewhere.
[[gnu::always_inline]] inline bool scaledLeadingDigits(double value, std::uint64_t* leading,
                                                       std::int32_t* exponent) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased == 0) return false;  // zero or subnormal
    // The trailing zero bits of the mantissa do not change the floor, so
    // they stay.
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int power = biased - 1075;
    // floor(log10 |value|) is floor(log2 x log10(2)) or one more; 78913 / 2^18
    // is log10(2) to the precision this range needs, and a wrong guess is
    // caught below either way.
    std::int32_t e = (((52 + power) * 78913) >> 18) + 1;
    const int s = 18 - e;
    if (s < 0 || s > 22) return false;
    std::uint64_t digits = 0;
    if (!narrowShift(multiplyWide(mantissa, kPowersOfFive.values[s]), -power - s, &digits)) {
        return false;
    }
    if (digits >= kPowersOfTen[18]) {
        // One digit too many: the guess at e was one short.
        digits /= 10;
        ++e;
    }
    if (digits < kPowersOfTen[17] || digits >= kPowersOfTen[18]) return false;
    *leading = digits;
    *exponent = e;
    return true;
}

// The 18 leading digits of a finite, non-zero |value| as one integer,
// truncated, and its decimal exponent e (|value| = 0.d1d2... x 10^e).
// The rare values take the exact expansion, out of the way of the usual ones.
[[gnu::noinline]] void exactLeadingNumber(double value, std::uint64_t* leading,
                                          std::int32_t* exponent) {
    char digits[18];
    exactLeadingDigits(value, digits, exponent);
    std::uint64_t number = 0;
    for (const char digit : digits) number = number * 10 + static_cast<std::uint64_t>(digit - '0');
    *leading = number;
}

[[gnu::always_inline]] inline void leadingDigits(double value, std::uint64_t* leading,
                                                 std::int32_t* exponent) {
    if (!scaledLeadingDigits(value, leading, exponent))
        exactLeadingNumber(value, leading, exponent);
}

// A non-zero value after both roundings: |value| is about kept x 10^(k - p).
struct RoundedFixed {
    // The p digits kept, as one integer: 0 when the value rounds to zero,
    // 10^p when the carry of the second rounding ran past the first digit.
    std::uint64_t kept = 0;
    std::int32_t p = 0;
    std::int64_t k = 0;  // digits before the point, before that carry
    std::int64_t n = 0;  // digits shown in all, before that carry
};

// Both roundings, half up, of a value with 18 leading digits `leading` and
// decimal exponent e, to d decimals: first to 17 significant digits on the
// 18th, then to p = min(n, 16) digits on those 17.
[[gnu::always_inline]] inline RoundedFixed roundFixed(std::uint64_t leading, std::int64_t e,
                                                      std::int64_t d) {
    std::uint64_t rounded = (leading + 5) / 10;
    if (rounded == kPowersOfTen[17]) {
        rounded = kPowersOfTen[16];  // seventeen nines carried into the next decade
        ++e;
    }
    RoundedFixed result;
    if (e < -d) {
        // Too small to reach the last decimal.
        result.k = -d;
        return result;
    }
    result.k = e;
    result.n = e + d;
    result.p = result.n < 16 ? static_cast<std::int32_t>(result.n) : 16;
    // Digit p + 1 of the 17 decides: up from 5 on.
    const std::uint64_t unit = kPowersOfTen[17 - result.p];
    result.kept = (rounded + unit / 2) / unit;
    return result;
}

// The `count` digits of `number` (below 10^count), with leading zeros; in
// 32-bit steps, which every target divides quickly.
void writeDigits(std::uint64_t number, std::int32_t count, char* out) {
    constexpr std::uint32_t kChunk = 100000000;  // 10^8
    while (count > 8) {
        const auto low = static_cast<std::uint32_t>(number % kChunk);
        number /= kChunk;
        count -= 8;
        writeChunk(low, 8, out + count);
    }
    writeChunk(static_cast<std::uint32_t>(number), count, out);
}

// The digits of `number` (not zero) written backwards from `end`; returns
// where they start.
char* writeDigitsBefore(std::uint64_t number, char* end) {
    constexpr std::uint32_t kChunk = 100000000;  // 10^8
    char* out = end;
    while (number >= kChunk) {
        out -= 8;
        writeChunk(static_cast<std::uint32_t>(number % kChunk), 8, out);
        number /= kChunk;
    }
    return writeDigitsBackwards(static_cast<std::uint32_t>(number), out);
}

}  // namespace

std::int32_t formatFixedTail(double value, std::int32_t decimals, char* end) {
    if (decimals < 0 || decimals > 9 || !std::isfinite(value)) return -1;
    const double magnitude = value < 0 ? -value : value;
    // 10^19 and beyond has more than 19 digits before the point.
    if (magnitude >= 1e19) return -1;
    // N: the text's digits as one integer, the value in units of 10^-decimals.
    std::uint64_t number = 0;
    // Below 10^-11 every text here is zero, whatever the digits.
    if (magnitude >= 1e-11) {
        std::uint64_t leading = 0;
        std::int32_t e = 0;
        leadingDigits(value, &leading, &e);
        const RoundedFixed rounded = roundFixed(leading, e, decimals);
        // N has n digits (n + 1 after a carry); from 20 on it may pass 2^64.
        if (rounded.n > 19) return -1;
        number = rounded.kept * kPowersOfTen[rounded.n - rounded.p];
    }

    // The text from its end: the decimals, the point, the whole part, and a
    // sign unless the value rounds to zero.
    char* out = end;
    std::uint64_t whole = number;
    if (decimals > 0) {
        whole = number / kPowersOfTen[decimals];
        out -= decimals;
        writeChunk(static_cast<std::uint32_t>(number - whole * kPowersOfTen[decimals]), decimals,
                   out);
    }
    *--out = '.';
    if (whole != 0) {
        out = writeDigitsBefore(whole, out);
    } else if (decimals == 0) {
        *--out = '0';
    }
    if (value < 0 && number != 0) *--out = '-';
    return static_cast<std::int32_t>(end - out);
}

void exactLeadingDigits(double value, char digits[18], std::int32_t* exponent) {
    std::uint64_t mantissa = 0;
    int power = 0;
    decompose(value, &mantissa, &power);
    if (power > 11 || power < -124) return slowLeadingDigits(value, digits, exponent);

    int count = 0;
    if (power >= 0) {
        char all[20];
        const int length = writeDecimal(mantissa << power, all);
        for (; count < 18 && count < length; ++count) digits[count] = all[count];
        *exponent = length;
    } else {
        const int shift = -power;
        const std::uint64_t integer = shift < 64 ? mantissa >> shift : 0;
        Wide fraction;
        fraction.low = shift < 64 ? mantissa & ((std::uint64_t{1} << shift) - 1) : mantissa;
        int e = 0;
        if (integer > 0) {
            char all[20];
            const int length = writeDecimal(integer, all);  // below 2^53: at most 16 digits
            for (; count < length; ++count) digits[count] = all[count];
            e = length;
        }
        // Nine digits at a time where the fraction allows it.
        while (shift <= 98 && count < 18 && !fraction.isZero()) {
            fraction.multiplyBy(1000000000);
            const std::uint32_t chunk = fraction.takeInteger(shift);
            char nine[9];
            int width = 9;
            if (count == 0) {
                if (chunk == 0) {
                    e -= 9;  // nine leading zeros after the point
                    continue;
                }
                width = digitCount(chunk);
                e -= 9 - width;
            }
            writeChunk(chunk, width, nine);
            const int take = width < 18 - count ? width : 18 - count;
            std::memcpy(digits + count, nine, static_cast<std::size_t>(take));
            count += take;
        }
        while (count < 18 && !fraction.isZero()) {
            fraction.multiplyBy(10);
            const auto digit = static_cast<int>(fraction.takeInteger(shift));
            if (count == 0 && digit == 0) {
                --e;  // a leading zero after the point
                continue;
            }
            digits[count++] = static_cast<char>('0' + digit);
        }
        *exponent = e;
    }
    for (; count < 18; ++count) digits[count] = '0';
}

std::int64_t FormattedFixed::length() const {
    const std::int64_t after = before > 0 ? shown - before : shown;
    return (negative ? 1 : 0) + (before == 0 && shown == 0 ? 1 : 0) + (before > 0 ? before : 0) +
           1 + (before < 0 ? -before : 0) + after;
}

FormattedInteger formatInteger(std::int32_t value, std::int32_t minimumDigits) {
    FormattedInteger text;
    text.negative = value < 0;
    // |INT32_MIN| only exists as an unsigned value.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (text.negative) magnitude = 0u - magnitude;
    text.digitCount = writeDecimal(magnitude, text.digits);
    if (minimumDigits > text.digitCount) text.zeros = minimumDigits - text.digitCount;
    return text;
}

FormattedFixed formatFixed(double value, std::int32_t decimals) {
    FormattedFixed text;
    if (!std::isfinite(value)) {
        // No digits to show: a text longer than any field, so that every
        // field holds asterisks.
        text.before = std::int64_t{1} << 32;
        text.shown = text.before;
        return text;
    }
    if (value == 0.0) {
        // No digits at all: the point and d zeros ("0." for d = 0).
        text.shown = decimals;
        return text;
    }
    std::uint64_t leading = 0;
    std::int32_t e = 0;
    leadingDigits(value, &leading, &e);
    const RoundedFixed rounded = roundFixed(leading, e, decimals);
    text.negative = value < 0 && rounded.kept != 0;
    if (rounded.kept == kPowersOfTen[rounded.p]) {
        // "1" and p zeros: the zeros are implied.
        text.digits[0] = '1';
        text.digitCount = 1;
        text.before = rounded.k + 1;
        text.shown = rounded.n + 1;
        return text;
    }
    writeDigits(rounded.kept, rounded.p, text.digits);
    text.digitCount = rounded.p;
    text.before = rounded.k;
    text.shown = rounded.n;
    return text;
}

}  // namespace gscmerge::textio
