// The full 128-bit product of two 64-bit numbers, as two 64-bit halves.
//
// Targets with a 128-bit integer type multiply with it (one instruction on
// x86-64); every other target, 32-bit x86 among them, builds the product from
// four 32 x 32 -> 64-bit products. Both forms are always compiled, so that the
// tests compare them on a machine that has both; nothing else in the program
// depends on whether a 128-bit type exists.
//     multiplyWide(2^63, 6)         -> {high 3, low 0}
//     multiplyWide(2^64 - 1, 2^64 - 1) -> {high 2^64 - 2, low 1}
#pragma once

#include <cstdint>

namespace gscmerge::textio {

struct WideProduct {
    std::uint64_t high = 0;
    std::uint64_t low = 0;

    friend constexpr bool operator==(const WideProduct&, const WideProduct&) = default;
};

// a x b from four 32 x 32 -> 64-bit products, on any target.
[[nodiscard]] constexpr WideProduct multiplyWidePortable(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t kLowHalf = 0xFFFFFFFFu;
    const std::uint64_t aLow = a & kLowHalf;
    const std::uint64_t aHigh = a >> 32;
    const std::uint64_t bLow = b & kLowHalf;
    const std::uint64_t bHigh = b >> 32;
    const std::uint64_t lowLow = aLow * bLow;
    const std::uint64_t lowHigh = aLow * bHigh;
    const std::uint64_t highLow = aHigh * bLow;
    const std::uint64_t highHigh = aHigh * bHigh;
    // The column of bits 32 to 63: three numbers below 2^32 add up to less
    // than 2^34, so nothing is lost; its carry goes to the high half.
    const std::uint64_t middle = (lowLow >> 32) + (lowHigh & kLowHalf) + (highLow & kLowHalf);
    return {highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32),
            (middle << 32) | (lowLow & kLowHalf)};
}

// a x b, with the target's 128-bit type where it has one.
[[nodiscard]] constexpr WideProduct multiplyWide(std::uint64_t a, std::uint64_t b) {
#if defined(__SIZEOF_INT128__)
    __extension__ using Unsigned128 = unsigned __int128;
    const Unsigned128 product = Unsigned128{a} * b;
    return {static_cast<std::uint64_t>(product >> 64), static_cast<std::uint64_t>(product)};
#else
    return multiplyWidePortable(a, b);
#endif
}

}  // namespace gscmerge::textio
