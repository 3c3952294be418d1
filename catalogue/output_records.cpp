// The output writer and the sexagesimal split.
#include "catalogue/output_records.h"

#include <bit>

#include "textio/floating_point.h"
#include "textio/record_statements.h"
#include "textio/units.h"

namespace gscmerge::catalogue {
namespace {

using textio::truncateToInt32;

constexpr std::int32_t kOutputUnit = 2;

constexpr auto kStarLine = textio::compileLayout<
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)">();

// Four single-precision constants, widened to double without change.
//
// 0x3A2EC33E = 0.000666666659526526927947998046875, just below 1/1500.
constexpr double kReciprocal1500 = static_cast<double>(std::bit_cast<float>(0x3A2EC33Eu));
// 0x3C23D70A = 0.00999999977648258209228515625, just below 0.01.
constexpr double kOneHundredth = static_cast<double>(std::bit_cast<float>(0x3C23D70Au));
// 0x3F7EB852 = 0.99500000476837158203125, the float nearest 0.995, just above it.
constexpr double kRaCarryThreshold = static_cast<double>(std::bit_cast<float>(0x3F7EB852u));
// 0x3F733333 = 0.949999988079071044921875, the float nearest 0.95, just below it.
constexpr double kDecCarryThreshold = static_cast<double>(std::bit_cast<float>(0x3F733333u));
static_assert(kReciprocal1500 < 1.0 / 1500.0 && kOneHundredth < 0.01);
static_assert(kRaCarryThreshold > 0.995 && kDecCarryThreshold < 0.95);

// Tens and units of a whole number: n / 10 and n - 10 x (n / 10).
[[gnu::always_inline]] inline void splitTens(std::int32_t n, std::int32_t* tens,
                                             std::int32_t* units) {
    *tens = divide(n, 10);
    *units = wrapSub(n, wrapMul(10, *tens));
}

// Seconds within the minute S to tens, units and fraction:
// tens = trunc(S x 0.1), F = S - 10 x tens, units = trunc(F), fraction = F - units.
[[gnu::always_inline]] inline void splitSeconds(double seconds, std::int32_t* tens,
                                                std::int32_t* units, double* fraction) {
    *tens = truncateToInt32(seconds * 0.1);
    const double withinTen = seconds - static_cast<double>(wrapMul(10, *tens));
    *units = truncateToInt32(withinTen);
    *fraction = withinTen - static_cast<double>(*units);
}

// The splits, inline in the writer's loop; splitRa and splitDec are these.
[[gnu::always_inline]] inline RaDigits splitRaInline(RaUnits u);
[[gnu::always_inline]] inline DecDigits splitDecInline(DecUnits u);

}  // namespace

RaDigits splitRa(RaUnits u) {
    return splitRaInline(u);
}
DecDigits splitDec(DecUnits u) {
    return splitDecInline(u);
}

namespace {

// The carry of a fraction rounded up into the digits "HH MM SS" (or
// "DD MM SS"), tens before units: each step runs only when the one before
// has just carried. True when the carry passes on into the hours' (or
// degrees') units digit, which the caller increments by its own rule.
inline bool carryThroughMinutes(std::int32_t* d) {
    if (++d[5] != 10) return false;
    d[5] = 0;
    if (++d[4] != 6) return false;
    d[4] = 0;
    if (++d[3] != 10) return false;
    d[3] = 0;
    if (++d[2] != 6) return false;
    d[2] = 0;
    return true;
}

// A units digit that has reached 10 carries into its tens digit.
inline void carryIntoTens(std::int32_t* d) {
    if (d[1] == 10) {
        d[1] = 0;
        d[0] = wrapAdd(d[0], 1);
    }
}

RaDigits splitRaInline(RaUnits u) {
    RaDigits out;
    std::int32_t* d = out.digits;  // hour tens, hour units, minute tens, minute units, ...
    const std::int32_t hours = divide(u, 5400000);
    const std::int32_t minutes = divide(wrapSub(u, wrapMul(5400000, hours)), 90000);
    const std::int32_t units = wrapSub(u, wrapMul(90000, wrapAdd(wrapMul(60, hours), minutes)));
    const double seconds = static_cast<double>(units) * kReciprocal1500;
    splitTens(hours, &d[0], &d[1]);
    splitTens(minutes, &d[2], &d[3]);
    splitSeconds(seconds, &d[4], &d[5], &out.fraction);

    if (!(out.fraction < kRaCarryThreshold)) {
        out.fraction = 0.0;
        if (carryThroughMinutes(d)) {
            ++d[1];
            if (d[1] == 4 && d[0] == 2) d[1] = d[0] = 0;  // 24 h is 00 h
            carryIntoTens(d);
        }
    }
    return out;
}

DecDigits splitDecInline(DecUnits u) {
    DecDigits out;
    out.sign = u < 0 ? '-' : '+';
    std::int32_t* d = out.digits;
    const std::int32_t a = wrapAbs(u);
    const std::int32_t degrees = divide(a, 360000);
    const std::int32_t minutes = divide(wrapSub(a, wrapMul(360000, degrees)), 6000);
    const std::int32_t units = wrapSub(a, wrapMul(6000, wrapAdd(wrapMul(60, degrees), minutes)));
    const double seconds = static_cast<double>(units) * kOneHundredth;
    splitTens(degrees, &d[0], &d[1]);
    splitTens(minutes, &d[2], &d[3]);
    splitSeconds(seconds, &d[4], &d[5], &out.fraction);

    if (!(out.fraction < kDecCarryThreshold)) {
        out.fraction = 0.0;
        if (carryThroughMinutes(d)) {
            ++d[1];
            carryIntoTens(d);
        }
    }
    return out;
}

// Sexagesimal parts by fixed point: n x ceil(2^48 / D) holds n / D with 48
// bits of fraction, and each further part is the whole of the fraction
// times its radix. Exact while n x (ceil(2^48 / D) x D - 2^48) < 2^48: the
// fraction then lies in [r / D, (r + 1) / D) for r = n mod D, and times each
// radix that divides D keeps that form for the rest of D, down to the last
// part. One multiplication and a shift per part, in place of a division and
// a remainder; the fractions times their radices stay below 2^55. The
// reciprocals stay below 2^31, so that the first product is one 32 x 32-bit
// multiplication on 32-bit x86 as well.
constexpr int kFractionBits = 48;
constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;

constexpr std::uint64_t fixedReciprocal(std::uint64_t divisor) {
    return ((std::uint64_t{1} << kFractionBits) + divisor - 1) / divisor;
}
constexpr bool fixedPartsExact(std::uint64_t divisor, std::uint64_t largest) {
    const std::uint64_t excess =
        fixedReciprocal(divisor) * divisor - (std::uint64_t{1} << kFractionBits);
    return largest * excess < (std::uint64_t{1} << kFractionBits);
}

// The whole part of `*fraction` times `radix`, leaving its fraction.
[[gnu::always_inline]] inline std::int32_t nextPart(std::uint64_t* fraction, std::uint32_t radix) {
    const std::uint64_t scaled = *fraction * radix;
    *fraction = scaled & kFractionMask;
    return static_cast<std::int32_t>(scaled >> kFractionBits);
}

// u + 7 over an hour (5,400,000 units) is the time rounded to the nearest
// hundredth (15 units, the last part: 100 of them in a second of 1,500).
constexpr std::uint32_t kHour = 5400000;
constexpr std::uint64_t kPerHour = fixedReciprocal(kHour);
static_assert(fixedPartsExact(kHour, 129600000 + 7) && kPerHour < (std::uint64_t{1} << 31));

[[gnu::always_inline]] inline bool roundRaInline(RaUnits u, RoundedRa* out) {
    constexpr std::uint32_t kDay = 24 * kHour;
    if (static_cast<std::uint32_t>(u) >= kDay) return false;
    const std::uint64_t time = (static_cast<std::uint32_t>(u) + 7) * kPerHour;
    std::uint64_t fraction = time & kFractionMask;
    // A day reached by the rounding is 00 hours, and every other part is 0.
    const auto hours = static_cast<std::int32_t>(time >> kFractionBits);
    out->hours = hours == 24 ? 0 : hours;
    out->minutes = nextPart(&fraction, 60);
    out->seconds = nextPart(&fraction, 60);
    out->hundredths = nextPart(&fraction, 100);
    return true;
}

// |u| + 4 over a degree (360,000 units) is the declination to the nearest
// tenth, 5 hundredths rounding down (10 units, the last part: 10 of them in
// an arcsecond of 100).
constexpr std::uint32_t kDegree = 360000;
constexpr std::uint64_t kPerDegree = fixedReciprocal(kDegree);
static_assert(fixedPartsExact(kDegree, 90 * kDegree + 4) && kPerDegree < (std::uint64_t{1} << 31));

[[gnu::always_inline]] inline bool roundDecInline(DecUnits u, RoundedDec* out) {
    constexpr std::uint32_t kPole = 90 * kDegree;
    // |u| and the sign without a branch on the sign, which the stars of a
    // region need not share: 1 for a negative u, whose bits are then
    // flipped and incremented.
    const std::uint32_t negative = static_cast<std::uint32_t>(u) >> 31;
    const std::uint32_t a = (static_cast<std::uint32_t>(u) ^ (0u - negative)) + negative;
    if (a > kPole) return false;
    out->sign = static_cast<char>('+' + 2 * negative);  // '+' or '-'

    const std::uint64_t angle = (a + 4) * kPerDegree;
    std::uint64_t fraction = angle & kFractionMask;
    out->degrees = static_cast<std::int32_t>(angle >> kFractionBits);
    out->minutes = nextPart(&fraction, 60);
    out->seconds = nextPart(&fraction, 60);
    out->tenths = nextPart(&fraction, 10);
    return true;
}

}  // namespace

bool roundRa(RaUnits u, RoundedRa* out) {
    return roundRaInline(u, out);
}
bool roundDec(DecUnits u, RoundedDec* out) {
    return roundDecInline(u, out);
}

void writeOutputFile(const char (&outFileName)[12], const StarTable& stars,
                     const EntryTable& entries) {
    using textio::DigitPair;
    textio::openUnit(kOutputUnit, {outFileName, sizeof(outFileName)}, "REPLACE");
    textio::UnitConnection& connection = *textio::findUnit(kOutputUnit);
    for (std::int32_t j = 1; j <= stars.starCount; ++j) {
        const RawEntry& position = entries.entry(stars.star(j).bestPos);
        const RawEntry& brightness = entries.entry(stars.star(j).bestMag);
        const std::int32_t region = divide(position.id, 10000);
        const std::int32_t number = wrapSub(position.id, wrapMul(10000, region));
        const double magnitude = brightness.magTimes10 * 0.1;

        // The positions of the sky take the integer forms, which give the
        // same text, each two digits from one pair of the digit table, and
        // the magnitude the units its field shows (magTimes10 is finite, so
        // its product with 0.1 cannot have trapped, and a record of exact
        // items need not look at the floating-point flags); the rest
        // (wrapped or out-of-range units) the splits.
        RoundedRa ra;
        RoundedDec dec;
        textio::FixedUnits<2> hundredths;
        if (roundRaInline(position.ra, &ra) && roundDecInline(position.dec, &dec) &&
            textio::roundToUnits(magnitude, &hundredths)) [[likely]] {
            textio::writeRecord(
                connection, kStarLine, region, number, DigitPair{ra.hours}, DigitPair{ra.minutes},
                DigitPair{ra.seconds}, textio::FixedUnits<2>{ra.hundredths}, dec.sign,
                DigitPair{dec.degrees}, DigitPair{dec.minutes}, DigitPair{dec.seconds},
                textio::FixedUnits<1>{dec.tenths}, hundredths);
            continue;
        }
        const RaDigits r = splitRaInline(position.ra);
        const DecDigits d = splitDecInline(position.dec);
        textio::writeRecord(connection, kStarLine, region, number, r.digits[0], r.digits[1],
                            r.digits[2], r.digits[3], r.digits[4], r.digits[5], r.fraction, d.sign,
                            d.digits[0], d.digits[1], d.digits[2], d.digits[3], d.digits[4],
                            d.digits[5], d.fraction, magnitude);
    }
    textio::closeUnit(kOutputUnit, "keep");
}

}  // namespace gscmerge::catalogue
