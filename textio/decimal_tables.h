// Constant tables of decimal digits and powers of ten, shared by the field
// readers and writers, and the one digit writer built on them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace gscmerge::textio {

// "00" to "99": two digits of a number per division by 100.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// " 0" to " 9", then "10" to "99": the same pairs with a leading zero as a
// blank, for the first digits of a number, which show no leading zero.
inline constexpr std::array<char, 200> kBlankedPairs = [] {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        pairs[i] = i < 20 && i % 2 == 0 ? ' ' : kDigitPairs[i];
    }
    return pairs;
}();

// 10^0 to 10^19, every power of ten below 2^64.
inline constexpr std::uint64_t kPowersOfTen[] = {1u,
                                                 10u,
                                                 100u,
                                                 1000u,
                                                 10000u,
                                                 100000u,
                                                 1000000u,
                                                 10000000u,
                                                 100000000u,
                                                 1000000000u,
                                                 10000000000u,
                                                 100000000000u,
                                                 1000000000000u,
                                                 10000000000000u,
                                                 100000000000000u,
                                                 1000000000000000u,
                                                 10000000000000000u,
                                                 100000000000000000u,
                                                 1000000000000000000u,
                                                 10000000000000000000u};

// 10^0 to 10^22: every power of ten that is exactly a double.
inline constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Writes the decimal digits of `value` (not 0) so that they end just before
// `end`, two at a time from the pair table; returns where they start. Give a
// 32-bit value where it fits: a 64-bit division is a library call on 32-bit
// x86.
//     writeDigitsBackwards(1234u, end) -> end - 4, holding "1234"
template <typename Unsigned>
[[gnu::always_inline]] inline char* writeDigitsBackwards(Unsigned value, char* end) {
    while (value >= 100) {
        const auto pair = static_cast<std::size_t>(value % 100);
        value /= 100;
        end -= 2;
        end[0] = kDigitPairs[2 * pair];
        end[1] = kDigitPairs[2 * pair + 1];
    }
    if (value >= 10) {
        end -= 2;
        end[0] = kDigitPairs[2 * value];
        end[1] = kDigitPairs[2 * value + 1];
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

}  // namespace gscmerge::textio
