// The one way out of the process: the first call of `exitProgram` marks the
// end as begun, runs the normal end that start-up registered (closing the
// units, ending the console line) and exits with its status; the end runs
// exactly once however the process ends.
//
// It lies below the error report, which every layer raises, so that the
// report can end the process without reaching up to the units and the
// console that the normal end closes: start-up registers the normal end
// here, as a program registers a function to run at its exit.
//
//     registerNormalEnd(closeEverything);   // start-up (the process frame)
//     ...
//     exitProgram(1);                       // closeEverything(), then status 1
#pragma once

namespace gscmerge::textio {

using NormalEnd = void (*)();

// The steps to run once when the process ends; none until registered.
void registerNormalEnd(NormalEnd normalEnd);

// Begins the end with `status`: runs the normal end, then exits with
// `status`. Called again while the end runs (a failure of the normal end
// itself), it exits at once with the status the end began with.
[[noreturn]] void exitProgram(int status);

// Exits with `status` at once, without the normal end.
[[noreturn]] void exitImmediately(int status);

// True once the end has begun.
[[nodiscard]] bool terminationInProgress();

// For test and fuzz harnesses whose replaced exit returns control to them:
// the end has not begun, and nothing is registered.
void resetProcessExit();

}  // namespace gscmerge::textio
