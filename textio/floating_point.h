// The floating-point traps, made independent of the hardware.
//
// The program's arithmetic traps on invalid operations, division by zero and
// overflow. Where the trap does not fire (foreign code in the process reset
// the control word, or an emulator does not trap at all), the operation still
// leaves its sticky flag. The points where a trap would have ended the run
// test that flag and end the run the same way:
//
//     entry.magTimes10 = line.magnitude * 10.0;
//     raiseIfFloatingPointFlagged();   // "5D309": MATH report 6104, as the trap gives
//
// A test is a few instructions (one read of the status register), so it is
// made once per entry line and once per real value formatted, never per
// field. Inexact results, underflow and denormal operands raise no report,
// as they raise no trap.
#pragma once

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
// divide by zero 6103 before overflow 6104). Never returns.
[[noreturn]] void raiseFlaggedTrap();

// Ends the run with the trap's report if a trapped exception is flagged.
inline void raiseIfFloatingPointFlagged() {
    if (floatingPointFlagged()) [[unlikely]] raiseFlaggedTrap();
}

}  // namespace gscmerge::textio
