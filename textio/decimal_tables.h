// Constant tables of decimal digits and powers of ten, shared by the field
// readers and writers.
#pragma once

#include <cstdint>

namespace gscmerge::textio {

// "00" to "99": two digits of a number per division by 100.
inline constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

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

}  // namespace gscmerge::textio
