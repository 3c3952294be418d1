// The run-time error report: the error numbers, the kinds of statement, the
// program's message for each number, and the one writer of the report, which
// every layer raises and which ends the process. For a missing raw file
//     CR LF "run-time error F6416: OPEN(N0000.raw)" CR LF "- file not found" CR LF
// is written to standard error, then the process ends with status 1 through
// the normal end (process_exit.h), so that every file written so far is
// closed and kept.
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

// The word of a kind in a report ("OPEN", ..., "MATH"); empty for None.
[[nodiscard]] std::string_view statementKindName(StatementKind kind);

// The one-line message the program shows for an error number.
[[nodiscard]] std::string_view runtimeErrorMessage(int number);

// The handler of the floating-point traps: masks them and raises the MATH
// report of trap `number` (6101 invalid, 6103 divide by zero, 6104 overflow),
// "floating-point error: " and the trap's word.
[[noreturn]] void raiseFloatingPointTrap(int number);

}  // namespace gscmerge::textio
