// What every fuzz target shares: running a piece of the program whose failures
// end the process, inside the fuzzing process, and judging how it ended.
//
// The program has exactly two ways out of a failure: a console message and a
// stop (status 0), or one run-time error report on standard error (status 1).
// The test support's CapturedProcess replaces the platform's exit by one that
// unwinds back to the harness, so both are ordinary outcomes of a run here. Anything else (a second
// report, bytes where none belong, a report with a number the stage cannot produce, an exit that
// does not come) is a finding: the harness prints it and aborts, and libFuzzer keeps the input.
//
// A run goes with the floating-point traps masked, as where the hardware does
// not trap (the program's own checks of the exception flags then end it), or
// with them firing, as in the real process: the trap leaves the arithmetic
// by a jump back to the harness, which raises the program's own trap report
// from there. Both must give the same outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tests/support/captured_process.h"
#include "tests/support/printable.h"
#include "textio/error_report.h"

namespace gscmerge::fuzz {

using Outcome = testing::ProcessOutcome;

// A printable form of bytes for diagnostics.
using testing::escaped;

enum class Traps : std::uint8_t { Masked, Firing };

// Forgets what an earlier run left (open units, the termination flag, an open
// console line, raised floating-point flags), then runs `body` with the exit
// and the standard streams captured, over the system calls in use (a target
// may have confined them), with the traps masked or firing.
Outcome runCaptured(const std::function<void()>& body, Traps traps = Traps::Masked);

// One run-time error report, taken apart.
struct Report {
    int number = 0;
    textio::StatementKind kind = textio::StatementKind::None;
    std::string unitName;  // OPEN, CLOSE, READ and WRITE only
};

// The report that `err` holds, if it holds exactly one well-formed report
// whose message is the program's message for its number (or the trap text).
[[nodiscard]] std::optional<Report> parseReport(std::string_view err);

// Whether `out` is what a stop after one of the program's console messages
// writes: the message, CR LF, the stop text, and the owed line end.
[[nodiscard]] bool isMessageAndStop(std::string_view out);

// An outcome that no correct program gives: describes it and aborts.
[[noreturn]] void finding(std::string_view what, const Outcome& outcome);

// Judges an outcome that must be a run-time error report with one of
// `numbers` and kind `kind` (and, when given, that unit name): a finding
// otherwise. Returns the report.
Report expectReport(const Outcome& outcome, textio::StatementKind kind,
                    std::span<const int> numbers, std::string_view unitName = {});

// Whether `number` is one of `numbers`.
[[nodiscard]] bool oneOf(int number, std::span<const int> numbers);

// The report numbers that a bad field or the end of the data can give in a
// read statement.
inline constexpr int kFieldErrors[] = {6100, 6101, 6102, 6103, 6302, 6303, 6501};

}  // namespace gscmerge::fuzz
