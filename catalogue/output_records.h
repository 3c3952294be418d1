// Writing the output file of a region: one 43-column record per star,
//     "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34"
// with the right ascension and declination split into sexagesimal digits.
#pragma once

#include <cstdint>

#include "catalogue/star_merge.h"
#include "catalogue/star_types.h"

namespace gscmerge::catalogue {

// Tens and units of hours, minutes and seconds, and the fraction of a second.
struct RaDigits {
    std::int32_t digits[6] = {};
    double fraction = 0.0;  // from 0 up to below 0.995 for valid positions
};

// Sign, tens and units of degrees, arcminutes and arcseconds, and the
// fraction of an arcsecond.
struct DecDigits {
    char sign = '+';
    std::int32_t digits[6] = {};
    double fraction = 0.0;  // from 0 up to below 0.95 for valid positions
};

// The digits of u/1500 seconds. The single-precision reciprocal of 1500 puts
// whole seconds just below themselves (30 s gives 29.99999967869371); the
// carry at a fraction of 0.995 or more restores them, and 24 hours reached by
// a carry wraps to 00:
//     splitRa(5585175)   -> 01 02 03 .44999996304977685
//     splitRa(129599999) -> 00 00 00 .0      splitRa(129600000) -> 24 00 00 .0
[[nodiscard]] RaDigits splitRa(RaUnits u);

// The digits of |u|/100 arcseconds and the sign (zero gives "+"):
//     splitDec(-1470670) -> - 04 05 06 .7 (about)   splitDec(32399999) -> + 90 00 00 .0
[[nodiscard]] DecDigits splitDec(DecUnits u);

// The same text for the positions of the sky, as hours, minutes and seconds
// (two digits each) and the fraction as the record shows it, from the units
// by integer arithmetic alone. For
// 0 <= u < 24 hours (129,600,000 units), splitRa and the record's F3.2 field
// together write u/1500 seconds rounded to the nearest hundredth, 24 hours
// reached by the rounding being 00 hours; no value lies halfway, as a
// hundredth is 15 units, an odd number. False, with nothing set, outside
// that range, where only splitRa gives the record.
//     roundRa(5585175) -> 01 02 03, 45 hundredths
struct RoundedRa {
    std::int32_t hours = 0;  // 0 to 23
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t hundredths = 0;
};
[[nodiscard]] bool roundRa(RaUnits u, RoundedRa* out);

// For |u| <= 90 degrees (32,400,000 units), splitDec and the record's F2.1
// field write |u|/100 arcseconds rounded to the nearest tenth, a hundredths
// digit of 5 rounding down (the single-precision hundredth puts it just
// below the half); the sign is '-' for every negative u. False, with
// nothing set, beyond 90 degrees.
//     roundDec(-1470670) -> - 04 05 06, 7 tenths      roundDec(-5) -> - 00 00 00, 0 tenths
struct RoundedDec {
    char sign = '+';
    std::int32_t degrees = 0;  // 0 to 90
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    std::int32_t tenths = 0;
};
[[nodiscard]] bool roundDec(DecUnits u, RoundedDec* out);

// Writes `outFileName` (12 characters, blank-padded) on unit 2, replacing any
// file of that name: one record per star, in star order.
void writeOutputFile(const char (&outFileName)[12], const StarTable& stars,
                     const EntryTable& entries);

}  // namespace gscmerge::catalogue
