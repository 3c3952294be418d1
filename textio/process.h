// The frame of the process: the start-up in the program's floating-point
// environment, the main flow, the stop, and the normal end that runs exactly
// once however the process ends (after the main flow returns, after a stop,
// after an error report).
//
//     int main() { textio::runProgram(catalogue::runBatch); }
//
// `stopProgram` writes "Stop - Program terminated." CR LF to standard output
// and ends with status 0; failures end through the error report
// (error_report.h) with status 1.
#pragma once

namespace gscmerge::textio {

using MainFlow = void (*)();

// Makes a closed pipe or a file-size limit a failed write rather than the end
// of the process, sets the floating-point environment (double precision,
// round to nearest, traps on invalid, divide by zero and overflow), creates
// the console units, registers the normal end, runs `mainFlow` and performs
// the normal end with status 0. Never returns.
[[noreturn]] void runProgram(MainFlow mainFlow);

// Ends the console line if one is open, writes "Stop - Program terminated."
// CR LF and ends the process with status 0.
[[noreturn]] void stopProgram();

// Closes every connected unit, ends an open console line and ends the process
// with `status`. Runs once: a second call (from an error raised while the
// first one closes units) ends the process at once with the first status. An
// invalid operation, division by zero or overflow flagged before it is
// reported instead, as its trap would have been, before any waiting output
// is written.
[[noreturn]] void endProcess(int status);

// For test and fuzz harnesses whose replaced exit returns control to them:
// forgets the state a previous ending left behind (the termination flag, open
// units, an open console line, floating-point flags), closing leftover
// handles without writing, and registers the normal end as start-up does.
void resetProcessState();

}  // namespace gscmerge::textio
