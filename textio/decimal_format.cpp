// Exact decimal digits of doubles and the two output roundings.
#include "textio/decimal_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace gscmerge::textio {
namespace {

// A 128-bit fraction numerator, portable to targets without a 128-bit type.
struct Wide {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    void timesTen() {
        const std::uint64_t lower = (low & 0xFFFFFFFFu) * 10;
        const std::uint64_t upper = (low >> 32) * 10 + (lower >> 32);
        low = (upper << 32) | (lower & 0xFFFFFFFFu);
        high = high * 10 + (upper >> 32);
    }

    // Removes and returns the integer part of this / 2^shift.
    int takeInteger(int shift) {
        if (shift >= 64) {
            const int s = shift - 64;
            const auto digit = static_cast<int>(high >> s);
            high &= (std::uint64_t{1} << s) - 1;
            return digit;
        }
        const auto digit = static_cast<int>((high << (64 - shift)) | (low >> shift));
        low &= (std::uint64_t{1} << shift) - 1;
        high = 0;
        return digit;
    }

    // Multiplies by 10^9 (the fraction stays below 2^128 while shift <= 98).
    void timesBillion() {
        constexpr std::uint64_t kBillion = 1000000000;
        const std::uint64_t lower = (low & 0xFFFFFFFFu) * kBillion;
        const std::uint64_t upper = (low >> 32) * kBillion + (lower >> 32);
        low = (upper << 32) | (lower & 0xFFFFFFFFu);
        high = high * kBillion + (upper >> 32);
    }

    // Removes and returns the integer part of this / 2^shift, for a value
    // below 2^(shift + 30).
    std::uint32_t takeChunk(int shift) {
        if (shift >= 64) {
            const int s = shift - 64;
            const auto chunk = static_cast<std::uint32_t>(high >> s);
            high &= (std::uint64_t{1} << s) - 1;
            return chunk;
        }
        const auto chunk = static_cast<std::uint32_t>((high << (64 - shift)) | (low >> shift));
        low &= (std::uint64_t{1} << shift) - 1;
        high = 0;
        return chunk;
    }

    [[nodiscard]] bool isZero() const { return high == 0 && low == 0; }
};

// "00" to "99": two digits per division.
constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819202122232425262728293031323334353637383940414243444546"
    "474849"
    "5051525354555657585960616263646566676869707172737475767778798081828384858687888990919293949596"
    "979899";

// The decimal digits of a chunk below 10^9, `width` of them with leading zeros.
void writeChunk(std::uint32_t chunk, int width, char* out) {
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

#if defined(__SIZEOF_INT128__)
constexpr std::uint64_t kPowersOfTen[] = {1,
                                          10,
                                          100,
                                          1000,
                                          10000,
                                          100000,
                                          1000000,
                                          10000000,
                                          100000000,
                                          1000000000,
                                          10000000000,
                                          100000000000,
                                          1000000000000,
                                          10000000000000,
                                          100000000000000,
                                          1000000000000000,
                                          10000000000000000,
                                          100000000000000000,
                                          1000000000000000000,
                                          10000000000000000000u};

__extension__ using Unsigned128 = unsigned __int128;

// 10^0 to 10^22 as 128-bit factors.
constexpr Unsigned128 wideTen(int power) {
    return power < 20 ? Unsigned128{kPowersOfTen[power]}
                      : Unsigned128{kPowersOfTen[19]} * kPowersOfTen[power - 19];
}

// The 18 leading digits of |value| as one integer, for the values fields
// usually show (a fraction part, |value| from about 1e-5 to below 2^53): with
// |value| = m x 2^q, floor(m x 10^s / 2^-q) in one 128-bit product, s <= 22
// keeping m x 10^s below 2^127. False, with nothing decided, elsewhere.
bool scaledLeadingDigits(double value, std::uint64_t* leading, std::int32_t* exponent) {
    std::uint64_t mantissa = 0;
    int power = 0;
    decompose(value, &mantissa, &power);
    if (power >= 0 || power < -127 || mantissa == 0) return false;
    const int log2 = 63 - std::countl_zero(mantissa) + power;  // floor(log2 |value|)
    // floor(log10 |value|) is floor(log2 x log10(2)) or one more; 78913 / 2^18
    // is log10(2) to the precision this range needs, and a wrong guess is
    // caught below either way.
    int e = ((log2 * 78913) >> 18) + 1;
    const int s = 18 - e;
    if (s < 0 || s > 22) return false;
    const Unsigned128 scaled = (Unsigned128{mantissa} * wideTen(s)) >> -power;
    std::uint64_t digits = 0;
    if (scaled >= kPowersOfTen[18]) {
        // One digit too many: |value| reached the next power of ten.
        // Below 2^64 (as it always is when the guess was one short), a
        // 64-bit division does.
        digits = (scaled >> 64) == 0 ? static_cast<std::uint64_t>(scaled) / 10
                                     : static_cast<std::uint64_t>(scaled / 10);
        ++e;
    } else {
        digits = static_cast<std::uint64_t>(scaled);
    }
    if (digits < kPowersOfTen[17] || digits >= kPowersOfTen[18]) return false;
    *leading = digits;
    *exponent = e;
    return true;
}

// The `count` leading digits of a 17-digit number, as characters.
void writeLeading(std::uint64_t number, int count, char* out) {
    number /= kPowersOfTen[17 - count];
    int i = count;
    while (i >= 2) {
        const auto pair = static_cast<std::size_t>(number % 100);
        number /= 100;
        i -= 2;
        out[i] = kDigitPairs[2 * pair];
        out[i + 1] = kDigitPairs[2 * pair + 1];
    }
    if (i == 1) out[0] = static_cast<char>('0' + number);
}

// formatFixed with both roundings done on the 17 digits as one integer; the
// same text as the character-wise roundings below, for the values
// `scaledLeadingDigits` takes.
bool formatFixedScaled(double value, std::int64_t d, FixedPointText* text) {
    std::uint64_t leading = 0;
    std::int32_t e = 0;
    if (!scaledLeadingDigits(value, &leading, &e)) return false;
    text->negative = value < 0;
    std::int64_t k = e;
    // First rounding: 17 significant digits, half up on the 18th.
    std::uint64_t rounded = (leading + 5) / 10;
    if (rounded == kPowersOfTen[17]) {
        rounded = kPowersOfTen[16];
        ++k;
    }
    if (k < -d) {
        text->negative = false;
        text->before = -d;
        text->shown = 0;
        return true;
    }
    std::int64_t n = k + d;
    // Second rounding: to d decimals, at most 16 significant digits. The
    // digits run past p exactly when those beyond the p-th are not all zero.
    const int p = n < 16 ? static_cast<int>(n) : 16;
    const std::uint64_t unit = kPowersOfTen[17 - p];
    int count = 17;
    if (rounded % unit == 0) {
        while (count > 1 && rounded % kPowersOfTen[17 - count + 1] == 0) --count;
    }
    if (count > p) {
        std::uint64_t kept = rounded / unit;
        if (rounded % unit >= 5 * kPowersOfTen[16 - p]) {
            ++kept;
            if (kept == kPowersOfTen[p]) {
                // "1" and p zeros: the zeros are implied.
                text->digits[0] = '1';
                text->digitCount = 1;
                text->before = k + 1;
                text->shown = n + 1;
                return true;
            }
        } else if (p == 0) {
            text->negative = false;  // rounds to zero
        }
        count = p;
        rounded = kept * unit;
    }
    writeLeading(rounded, count, text->digits);
    text->digitCount = count;
    text->before = k;
    text->shown = n;
    return true;
}
#endif

}  // namespace

std::int32_t formatFixedTail(double value, std::int32_t decimals, char* end) {
#if defined(__SIZEOF_INT128__)
    if (decimals < 0 || decimals > 9) return -1;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const bool negative = (bits >> 63) != 0;
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    // N: the text's digits as one integer, the value in units of 10^-decimals.
    std::uint64_t number = 0;
    if (biased != 0) {
        // |value| = mantissa x 2^power exactly (the trailing zero bits do not
        // change the floors below, so they stay).
        const std::uint64_t mantissa =
            (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
        const int power = biased - 1075;
        if (power >= 0) return -1;
        // The same guess at the decimal exponent as scaledLeadingDigits, at
        // most one short; s <= 22 keeps |value| above 1e-5, so -power < 70.
        std::int32_t e = (((52 + power) * 78913) >> 18) + 1;
        const int s = 18 - e;
        if (s < 0 || s > 22) return -1;
        // 18 or 19 digits, below 10^19 < 2^64.
        auto leading = static_cast<std::uint64_t>((Unsigned128{mantissa} * wideTen(s)) >> -power);
        if (leading >= kPowersOfTen[18]) {
            leading /= 10;
            ++e;
        }
        if (leading < kPowersOfTen[17] || leading >= kPowersOfTen[18]) return -1;
        // First rounding: 17 significant digits, half up on the 18th.
        std::uint64_t rounded = (leading + 5) / 10;
        if (rounded == kPowersOfTen[17]) {
            rounded = kPowersOfTen[16];
            ++e;
        }
        // Second rounding: to the last decimal, at most 16 significant
        // digits, half up on the 17 digits. n digits are shown in all.
        const std::int32_t n = e + decimals;
        if (n >= 17) {
            if (n > 19) return -1;  // beyond 64 bits
            number = (rounded + 5) / 10 * kPowersOfTen[n - 16];
        } else if (n >= 0) {
            const std::uint64_t unit = kPowersOfTen[17 - n];
            number = (rounded + unit / 2) / unit;
        }
        // n < 0: too small to reach the last decimal, N = 0.
    } else if ((bits << 1) != 0) {
        return -1;  // subnormal
    }

    // A value that rounds to zero shows no minus sign.
    const bool showSign = negative && number != 0;
    // The text from its end: the decimals, the point, the whole part.
    char* out = end;
    std::uint64_t whole = number;
    if (decimals > 0) {
        whole = number / kPowersOfTen[decimals];
        // Below 10^9: 32-bit steps, two digits at a time.
        auto fraction = static_cast<std::uint32_t>(number - whole * kPowersOfTen[decimals]);
        std::int32_t left = decimals;
        for (; left >= 2; left -= 2) {
            const std::uint32_t pair = fraction % 100;
            fraction /= 100;
            out -= 2;
            out[0] = kDigitPairs[2 * pair];
            out[1] = kDigitPairs[2 * pair + 1];
        }
        if (left == 1) *--out = static_cast<char>('0' + fraction);
    }
    *--out = '.';
    if (whole == 0) {
        if (decimals == 0) *--out = '0';
    } else {
        while (whole >= 100) {
            const auto pair = static_cast<std::size_t>(whole % 100);
            whole /= 100;
            out -= 2;
            out[0] = kDigitPairs[2 * pair];
            out[1] = kDigitPairs[2 * pair + 1];
        }
        if (whole >= 10) {
            out -= 2;
            out[0] = kDigitPairs[2 * whole];
            out[1] = kDigitPairs[2 * whole + 1];
        } else {
            *--out = static_cast<char>('0' + whole);
        }
    }
    if (showSign) *--out = '-';
    return static_cast<std::int32_t>(end - out);
#else
    (void)value;
    (void)decimals;
    (void)end;
    return -1;
#endif
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
            fraction.timesBillion();
            const std::uint32_t chunk = fraction.takeChunk(shift);
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
            fraction.timesTen();
            const int digit = fraction.takeInteger(shift);
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

std::int64_t FixedPointText::length() const {
    const std::int64_t after = before > 0 ? shown - before : shown;
    return (negative ? 1 : 0) + (before == 0 && shown == 0 ? 1 : 0) + (before > 0 ? before : 0) +
           1 + (before < 0 ? -before : 0) + after;
}

IntegerTextOut formatInteger(std::int32_t value, std::int32_t minimumDigits) {
    IntegerTextOut text;
    text.negative = value < 0;
    // |INT32_MIN| only exists as an unsigned value.
    std::uint32_t magnitude = static_cast<std::uint32_t>(value);
    if (text.negative) magnitude = 0u - magnitude;
    text.digitCount = writeDecimal(magnitude, text.digits);
    if (minimumDigits > text.digitCount) text.zeros = minimumDigits - text.digitCount;
    return text;
}

FixedPointText formatFixed(double value, std::int32_t decimals) {
    FixedPointText text;
    if (!std::isfinite(value)) {
        // No digits to show: a text longer than any field, so that every
        // field holds asterisks.
        text.before = std::int64_t{1} << 32;
        text.shown = text.before;
        return text;
    }
    const std::int64_t d = decimals;
#if defined(__SIZEOF_INT128__)
    if (value != 0.0 && formatFixedScaled(value, d, &text)) return text;
#endif
    char digits[18];
    std::int32_t count = 1;
    std::int64_t exponent = 0;
    if (value == 0.0) {
        digits[0] = '0';
    } else {
        // First rounding: 17 significant digits, half up on the 18th.
        std::int32_t e = 0;
        exactLeadingDigits(value, digits, &e);
        exponent = e;
        text.negative = value < 0;
        count = 17;
        if (digits[17] >= '5') {
            int i = 16;
            while (i >= 0 && digits[i] == '9') digits[i--] = '0';
            if (i < 0) {
                digits[0] = '1';
                count = 1;
                ++exponent;
            } else {
                ++digits[i];
            }
        }
        while (count > 1 && digits[count - 1] == '0') --count;
    }

    const bool isZero = count == 1 && digits[0] == '0';
    std::int64_t k = isZero ? 0 : exponent;
    std::int64_t n = isZero ? d : exponent + d;
    if (k < -d) {
        // Too small to reach the last decimal.
        text.negative = false;
        text.before = -d;
        text.shown = 0;
        return text;
    }
    // Second rounding: to d decimals, at most 16 significant digits.
    const std::int64_t p = n < 16 ? n : 16;
    if (count > p) {
        const bool up = digits[p] >= '5';
        count = static_cast<std::int32_t>(p);
        if (up) {
            if (p == 0) {
                digits[0] = '1';
                count = 1;
                ++k;
                ++n;
            } else {
                std::int64_t i = p - 1;
                while (i >= 0 && digits[i] == '9') digits[i--] = '0';
                if (i < 0) {
                    digits[0] = '1';  // "1" and p zeros: the zeros are implied
                    count = 1;
                    ++k;
                    ++n;
                } else {
                    ++digits[i];
                }
            }
        } else {
            bool allZero = true;
            for (std::int32_t i = 0; i < count; ++i) allZero = allZero && digits[i] == '0';
            if (allZero) text.negative = false;
        }
    }
    std::memcpy(text.digits, digits, static_cast<std::size_t>(count));
    text.digitCount = count;
    text.before = k;
    text.shown = n;
    return text;
}

}  // namespace gscmerge::textio
