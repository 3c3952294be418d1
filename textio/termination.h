// The single error exit, the stop, and the frame of the process: start-up in
// its floating-point environment, the main flow, and the normal end that runs
// exactly once however the process ends.
//
// Both ways out of a failure are final. `raiseRuntimeError` writes one report
// to standard error, e.g. for a missing raw file
//     CR LF "run-time error F6416: OPEN(N0000.raw)" CR LF "- file not found" CR LF
// and ends the process with status 1; `stopProgram` writes
// "Stop - Program terminated." CR LF to standard output and ends with status 0.
#pragma once

#include <cstdint>
#include <string_view>

namespace gscmerge::textio {

// Which statement failed; it selects the text after the number in a report.
enum class StatementKind : std::uint8_t { Open, Close, Read, Write, Math, None };

// Writes the run-time error report for `number` (four digits, 6xxx) and ends
// the process with status 1 through the normal end. `unitName` is shown for
// OPEN, CLOSE, READ and WRITE. When the normal end is already under way, the
// report is written and the process ends at once, with status 1 whatever
// status that end began with. An invalid operation, division by zero or
// overflow flagged before the failure is reported instead, as its trap would
// have been.
[[noreturn]] void raiseRuntimeError(int number, StatementKind kind, std::string_view unitName,
                                    std::string_view message);

// As above, with the program's own one-line message for `number`.
[[noreturn]] void raiseRuntimeError(int number, StatementKind kind, std::string_view unitName);

// The one-line message the program shows for an error number.
[[nodiscard]] std::string_view runtimeErrorMessage(int number);

// Ends the console line if one is open, writes "Stop - Program terminated."
// CR LF and ends the process with status 0.
[[noreturn]] void stopProgram();

using MainFlow = void (*)();

// Makes a closed pipe or a file-size limit a failed write rather than the end
// of the process, sets the floating-point environment (double precision,
// round to nearest, traps on invalid, divide by zero and overflow), creates
// the console units,
// runs `mainFlow` and performs the normal end with status 0. Never returns.
[[noreturn]] void runProgram(MainFlow mainFlow);

// Closes every connected unit, ends an open console line and ends the process
// with `status`. Runs once: a second call (from an error raised while the
// first one closes units) does nothing.
[[noreturn]] void endProcess(int status);

// True once the normal end has begun.
[[nodiscard]] bool terminationInProgress();

// Converts a real value to a 32-bit integer the way the program's arithmetic
// does: truncation toward zero through a signed 64-bit integer, keeping the
// low 32 bits (so 2^32 + 5 gives 5). NaN or a value outside the 64-bit range
// is the invalid-operation trap (MATH report 6101).
[[nodiscard]] inline std::int32_t truncateToInt32(double value);

// The handler of the floating-point traps: masks them and raises the MATH
// report of trap `number` (6101 invalid, 6103 divide by zero, 6104 overflow).
[[noreturn]] void raiseFloatingPointTrap(int number);

// The invalid-operation trap of a conversion out of range (never returns).
[[noreturn]] void raiseConversionTrap();

std::int32_t truncateToInt32(double value) {
    // Inside [-2^63, 2^63) the 64-bit truncation is defined; NaN fails both
    // tests. (Should the comparison of a NaN trap by itself, the report is
    // the same.)
    if (!(value >= -0x1p63 && value < 0x1p63)) raiseConversionTrap();
    const auto wide = static_cast<std::int64_t>(value);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(wide)));
}

// For test and fuzz harnesses whose replaced exit returns control to them:
// forgets the state a previous ending left behind (the termination flag, open
// units, an open console line), closing leftover handles without writing.
void resetProcessState();

}  // namespace gscmerge::textio
