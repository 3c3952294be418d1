// The program's floating-point arithmetic beyond what the language gives by
// itself: the traps, made independent of the hardware, and the conversion of
// a real value to an integer. Both end the run with a MATH report
// (error_report.cpp raises it).
//
// The program's arithmetic traps on invalid operations, division by zero and
// overflow. Where the trap does not fire (foreign code in the process reset
// the control word, or an emulator does not trap at all), the operation still
// leaves its sticky flag. The points where a trap would have ended the run
// test that flag and end the run the same way:
//
//     const double value = conversion.value();   // the field "5D309"
//     raiseIfFloatingPointFlagged();             // MATH report 6104, as the trap gives
//
// A test reads the status register, which waits for every operation before
// it, so it is made where a value may have gone out of range (a real field
// read by the general statement, a real value formatted, output leaving the
// process), never per field of a plain record. Where the operands are known
// to be finite, `raiseIfNotFinite` looks at the result instead. Inexact
// results, underflow and denormal operands raise no report, as they raise
// no trap.
#pragma once

#include <cmath>
#include <cstdint>

#if !((defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && defined(__GNUC__))
#include <cfenv>
#endif

namespace gscmerge::textio {

// True when an invalid operation, a division by zero or an overflow has
// happened since the flags were last cleared (at start-up).
[[nodiscard]] inline bool floatingPointFlagged() {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__SSE2__) && defined(__GNUC__)
    // The program's arithmetic is SSE2 on every x86 target; MXCSR bits 0, 2
    // and 3 are the sticky invalid, divide-by-zero and overflow flags.
    constexpr unsigned kTrappedFlags = 0x01 | 0x04 | 0x08;
    return (__builtin_ia32_stmxcsr() & kTrappedFlags) != 0;
#else
    return std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) != 0;
#endif
}

// The MATH report the trap of the flagged exception gives (invalid 6101 before
// divide by zero 6103 before overflow 6104); with none flagged, the invalid
// operation 6101. Never returns.
[[noreturn]] void raiseFlaggedTrap();

// Ends the run with the trap's report if a trapped exception is flagged.
inline void raiseIfFloatingPointFlagged() {
    if (floatingPointFlagged()) [[unlikely]]
        raiseFlaggedTrap();
}

// The same test for a point where the operands of the arithmetic before it
// are known to be finite, so that only a result that is not finite can come
// with a flag: a comparison of the result, which does not wait for the
// operations before it as a read of the status register does.
inline void raiseIfNotFinite(double result) {
    if (!(std::fabs(result) <= 0x1.fffffffffffffp1023)) [[unlikely]]
        raiseFlaggedTrap();
}

// Converts a real value to a 32-bit integer the way the program's arithmetic
// does: truncation toward zero through a signed 64-bit integer, keeping the
// low 32 bits (so 2^32 + 5 gives 5). NaN or a value outside the 64-bit range
// is the invalid-operation trap (MATH report 6101), unless an exception
// flagged on the way to the value (an overflow that made it infinite) would
// have trapped first.
[[nodiscard]] inline std::int32_t truncateToInt32(double value) {
    // Below 2^31 in magnitude the truncation fits 32 bits as it stands: one
    // conversion, an SSE2 instruction on every x86 target (on 32-bit x86 the
    // 64-bit one goes through the x87 unit and two changes of its control
    // word). NaN fails the comparison.
    if (std::fabs(value) < 0x1p31) [[likely]]
        return static_cast<std::int32_t>(value);
    // Inside [-2^63, 2^63) the 64-bit truncation is defined; NaN fails the
    // comparison, and so does -2^63, which is looked at again. (Should the
    // comparison of a NaN trap by itself, the report is the same.)
    if (!(std::fabs(value) < 0x1p63)) {
        if (value != -0x1p63) raiseFlaggedTrap();
    }
    const auto wide = static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

}  // namespace gscmerge::textio
