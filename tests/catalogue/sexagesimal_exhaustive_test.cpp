// Every position the catalogue can hold, written back digit for digit.
//
// The split of encoded units into digits relies on single-precision
// constants and a carry at a threshold; whether that reproduces the input's
// digits, and rounds everything else as intended, is only settled by trying
// every value. The expected digits are computed here with integer arithmetic
// alone; the integer forms the writer takes in place of the splits, for the
// positions of the sky, are checked against them on the same values.
// Sanitizer builds run several times slower, so there the ranges are sampled
// with a stride of 7, prime to every divisor of the digit arithmetic (10, 15,
// 60, 100, 1500, ...), so that every residue is still met.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/output_records.h"
#include "catalogue/raw_region.h"
#include "textio/decimal_format.h"
#include "textio/numeric_input.h"

#if defined(__SANITIZE_ADDRESS__)
#define GSCMERGE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
#define GSCMERGE_SANITIZED 1
#endif
#endif

namespace gscmerge::catalogue {
namespace {

#ifdef GSCMERGE_SANITIZED
constexpr std::int32_t kStride = 7;
#else
constexpr std::int32_t kStride = 1;
#endif

// Reports the first few mismatches in full and counts the rest.
class Mismatches {
public:
    void check(const char* expected, const char* actual, std::size_t length, std::int64_t value) {
        if (std::memcmp(expected, actual, length) == 0) return;
        if (++count_ <= 10) {
            ADD_FAILURE() << "value " << value << ": expected '" << std::string(expected, length)
                          << "', written '" << std::string(actual, length) << "'";
        }
    }
    [[nodiscard]] std::int64_t count() const { return count_; }

private:
    std::int64_t count_ = 0;
};

// The text an I1 field gives a digit ('*' when it does not fit).
char digitText(std::int32_t digit) {
    return digit >= 0 && digit <= 9 ? static_cast<char>('0' + digit) : '*';
}

// The text two I1 fields give the tens and units of `value`.
void digitPairText(char* at, std::int32_t value) {
    at[0] = digitText(value / 10);
    at[1] = digitText(value % 10);
}

void putTwoDigits(char* at, std::int32_t value) {
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

// The Fw.d text of a fraction, asterisks when it is wider than w.
void putFixed(char* at, double value, std::int32_t decimals, std::int32_t width) {
    const textio::FormattedFixed text = textio::formatFixed(value, decimals);
    if (text.length() != width) {
        std::memset(at, text.length() > width ? '*' : ' ', static_cast<std::size_t>(width));
        return;
    }
    std::int32_t i = 0;
    text.write([&](char c) { at[i++] = c; });
}

// putFixed for a stream of fractions that repeat: every minute of arc or of
// time brings the same fractions again, so the text of each fraction is kept
// under a slot chosen by the caller and reused only for the identical value.
template <std::int32_t Decimals, std::size_t Width>
class FixedTextCache {
public:
    explicit FixedTextCache(std::size_t slots) : entries_(slots) {}

    void put(char* at, double value, std::size_t slot) {
        Entry& entry = entries_[slot % entries_.size()];
        const auto bits = std::bit_cast<std::uint64_t>(value);
        if (!entry.filled || entry.bits != bits) {
            putFixed(entry.text, value, Decimals, static_cast<std::int32_t>(Width));
            entry.bits = bits;
            entry.filled = true;
        }
        std::memcpy(at, entry.text, Width);
    }

private:
    struct Entry {
        std::uint64_t bits = 0;
        bool filled = false;
        char text[Width] = {};
    };
    std::vector<Entry> entries_;
};

using RaFractions = FixedTextCache<2, 3>;
using DecFractions = FixedTextCache<1, 2>;

// "hh mm ss.ff" as columns 15-25 of a record show it.
void writtenRa(RaUnits units, RaFractions& fractions, char (&out)[11]) {
    const RaDigits d = splitRa(units);
    out[0] = digitText(d.digits[0]);
    out[1] = digitText(d.digits[1]);
    out[2] = ' ';
    out[3] = digitText(d.digits[2]);
    out[4] = digitText(d.digits[3]);
    out[5] = ' ';
    out[6] = digitText(d.digits[4]);
    out[7] = digitText(d.digits[5]);
    fractions.put(out + 8, d.fraction, static_cast<std::size_t>(units % 90000));
}

// "+dd mm ss.f" as columns 27-37 of a record show it.
void writtenDec(DecUnits units, DecFractions& fractions, char (&out)[11]) {
    const DecDigits d = splitDec(units);
    out[0] = d.sign;
    out[1] = digitText(d.digits[0]);
    out[2] = digitText(d.digits[1]);
    out[3] = ' ';
    out[4] = digitText(d.digits[2]);
    out[5] = digitText(d.digits[3]);
    out[6] = ' ';
    out[7] = digitText(d.digits[4]);
    out[8] = digitText(d.digits[5]);
    fractions.put(out + 9, d.fraction, static_cast<std::size_t>(units % 6000 + 6000));
}

// The same columns from the integer forms the writer takes for positions
// of the sky; blanks when the form declines the units.
void roundedRa(RaUnits units, char (&out)[11]) {
    RoundedRa r;
    std::memset(out, ' ', sizeof out);
    if (!roundRa(units, &r)) return;
    digitPairText(out, r.hours);
    digitPairText(out + 3, r.minutes);
    digitPairText(out + 6, r.seconds);
    out[8] = '.';
    putTwoDigits(out + 9, r.hundredths);
}

void roundedDec(DecUnits units, char (&out)[11]) {
    RoundedDec d;
    std::memset(out, ' ', sizeof out);
    if (!roundDec(units, &d)) return;
    out[0] = d.sign;
    digitPairText(out + 1, d.degrees);
    digitPairText(out + 4, d.minutes);
    digitPairText(out + 7, d.seconds);
    out[9] = '.';
    out[10] = static_cast<char>('0' + d.tenths);
}

// "hh mm ss.ff" of a number of hundredths of a second.
void raText(std::int64_t hundredths, char (&out)[11]) {
    putTwoDigits(out, static_cast<std::int32_t>(hundredths / 360000));
    out[2] = ' ';
    putTwoDigits(out + 3, static_cast<std::int32_t>(hundredths / 6000 % 60));
    out[5] = ' ';
    putTwoDigits(out + 6, static_cast<std::int32_t>(hundredths / 100 % 60));
    out[8] = '.';
    putTwoDigits(out + 9, static_cast<std::int32_t>(hundredths % 100));
}

// "+dd mm ss.f" of a sign and a number of tenths of an arcsecond.
void decText(char sign, std::int64_t tenths, char (&out)[11]) {
    out[0] = sign;
    putTwoDigits(out + 1, static_cast<std::int32_t>(tenths / 36000));
    out[3] = ' ';
    putTwoDigits(out + 4, static_cast<std::int32_t>(tenths / 600 % 60));
    out[6] = ' ';
    putTwoDigits(out + 7, static_cast<std::int32_t>(tenths / 10 % 60));
    out[9] = '.';
    out[10] = static_cast<char>('0' + tenths % 10);
}

// The value an F field with `decimals` decimals reads from `text`, checked
// against the C library's nearest double.
double readField(const char* text, std::int32_t decimals) {
    textio::FixedConversion field(decimals);
    for (const char* c = text; *c != '\0'; ++c) field.add(*c);
    const double value = field.value();
    EXPECT_EQ(field.error(), 0) << text;
    EXPECT_EQ(value, std::strtod(text, nullptr)) << text;
    return value;
}

TEST(ExhaustiveRa, EveryTwoDecimalPositionIsWrittenAsRead) {
    Mismatches mismatches;
    RaFractions fractions(90000);
    for (std::int32_t secondHundredths = 0; secondHundredths < 6000; ++secondHundredths) {
        char field[6];
        putTwoDigits(field, secondHundredths / 100);
        field[2] = '.';
        putTwoDigits(field + 3, secondHundredths % 100);
        field[5] = '\0';
        const double seconds = readField(field, 2);
        for (std::int32_t minuteOfDay = secondHundredths % kStride; minuteOfDay < 1440;
             minuteOfDay += kStride) {
            const std::int64_t hundredths = minuteOfDay * 6000LL + secondHundredths;
            char expected[11];
            char written[11];
            raText(hundredths, expected);
            writtenRa(encodeRa(minuteOfDay / 60, minuteOfDay % 60, seconds), fractions, written);
            mismatches.check(expected, written, sizeof expected, hundredths);
        }
    }
    EXPECT_EQ(mismatches.count(), 0);
}

TEST(ExhaustiveDec, EveryOneDecimalDeclinationIsWrittenAsRead) {
    Mismatches mismatches;
    DecFractions fractions(12000);
    for (std::int32_t secondTenths = 0; secondTenths < 600; ++secondTenths) {
        char field[5];
        putTwoDigits(field, secondTenths / 10);
        field[2] = '.';
        field[3] = static_cast<char>('0' + secondTenths % 10);
        field[4] = '\0';
        const double seconds = readField(field, 1);
        for (std::int32_t minuteOfArc = secondTenths % kStride; minuteOfArc <= 90 * 60;
             minuteOfArc += kStride) {
            const std::int64_t tenths = minuteOfArc * 600LL + secondTenths;
            if (tenths > 90 * 36000) break;
            for (const std::int32_t sign : {1, -1}) {
                // Only the all-zero declination loses its minus sign.
                const char signText = sign < 0 && tenths != 0 ? '-' : '+';
                char expected[11];
                char written[11];
                decText(signText, tenths, expected);
                writtenDec(encodeDec(sign, minuteOfArc / 60, minuteOfArc % 60, seconds), fractions,
                           written);
                mismatches.check(expected, written, sizeof expected, sign * tenths);
            }
        }
    }
    EXPECT_EQ(mismatches.count(), 0);
}

TEST(ExhaustiveRa, EveryUnitIsWrittenToTheNearestHundredth) {
    Mismatches mismatches;
    RaFractions fractions(90000);
    for (std::int32_t units = 0; units < 129600000; units += kStride) {
        // A hundredth of a second is 15 units, an odd number: no value lies
        // halfway. A day rounded up is written as 00 hours.
        std::int64_t hundredths = (units + 7) / 15;
        if (hundredths == 8640000) hundredths = 0;
        char expected[11];
        char written[11];
        raText(hundredths, expected);
        writtenRa(units, fractions, written);
        mismatches.check(expected, written, sizeof expected, units);
        roundedRa(units, written);
        mismatches.check(expected, written, sizeof expected, units);
    }
    EXPECT_EQ(mismatches.count(), 0);
}

TEST(ExhaustiveDec, EveryUnitIsWrittenToTheNearestTenthHalvesDown) {
    Mismatches mismatches;
    DecFractions fractions(12000);
    for (std::int32_t units = -32400000; units <= 32400000; units += kStride) {
        const std::int64_t absolute = units < 0 ? -static_cast<std::int64_t>(units) : units;
        // A tenth of an arcsecond is 10 units; 5 hundredths round down.
        const std::int64_t tenths = (absolute + 4) / 10;
        char expected[11];
        char written[11];
        decText(units < 0 ? '-' : '+', tenths, expected);
        writtenDec(units, fractions, written);
        mismatches.check(expected, written, sizeof expected, units);
        roundedDec(units, written);
        mismatches.check(expected, written, sizeof expected, units);
    }
    EXPECT_EQ(mismatches.count(), 0);
}

}  // namespace
}  // namespace gscmerge::catalogue
