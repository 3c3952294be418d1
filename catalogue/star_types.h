// The catalogue's integer quantities, and the 32-bit arithmetic they use.
//
// Identifiers and encoded positions are signed 32-bit values. Sums and
// products on them wrap in two's complement, deliberately: a raw file whose
// numbers leave the range gives wrapped values (and asterisks on output),
// never undefined behaviour.
#pragma once

#include <cstdint>

namespace gscmerge::catalogue {

// region x 10000 + star number within the region.
using StarId = std::int32_t;
// Right ascension in 1/1500 s of time: 1500 per second, 5,400,000 per hour.
using RaUnits = std::int32_t;
// Declination in 0.01 arcsecond, negative south: 360,000 per degree.
using DecUnits = std::int32_t;

[[nodiscard]] constexpr std::int32_t wrapAdd(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

[[nodiscard]] constexpr std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

[[nodiscard]] constexpr std::int32_t wrapMul(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// |a|, with |INT32_MIN| wrapping to itself.
[[nodiscard]] constexpr std::int32_t wrapAbs(std::int32_t a) {
    return a < 0 ? wrapSub(0, a) : a;
}

// Integer division truncating toward zero. The divisors are positive
// constants, so it cannot overflow.
[[nodiscard]] constexpr std::int32_t divide(std::int32_t a, std::int32_t positiveDivisor) {
    return a / positiveDivisor;
}

}  // namespace gscmerge::catalogue
