// Runs code that may end the process (a stop, a run-time error report, a
// trap) inside the test or fuzzing process: the platform's exit is replaced
// by one that unwinds back here, and standard output and standard error are
// captured. The program's two ways out of a failure are then ordinary
// outcomes of a run.
//
//     CapturedProcess process;
//     const ProcessOutcome outcome = process.run([] { textio::stopProgram(); });
//     EXPECT_EQ(outcome.out, "Stop - Program terminated.\r\n");
//     EXPECT_EQ(outcome.status, 0);
//
// Needs no test framework: the fuzz targets use it too.
#pragma once

#include <functional>
#include <string>

#include "textio/platform.h"

namespace gscmerge::testing {

struct ProcessOutcome {
    std::string out;     // bytes written to standard output
    std::string err;     // bytes written to standard error
    bool ended = false;  // the process would have ended
    int status = -1;     // its exit status, when it ended
};

class CapturedProcess {
public:
    // Forgets what an earlier ending left behind (open units, the
    // termination flag, an open console line) and puts `base` under the
    // captured exit and standard streams: the native calls, or a table a
    // harness has prepared (a file system confined to a scratch directory).
    explicit CapturedProcess(const platform::SystemCalls& base = platform::nativeSystemCalls());
    // Puts back the system calls that were in use before.
    ~CapturedProcess();
    CapturedProcess(const CapturedProcess&) = delete;
    CapturedProcess& operator=(const CapturedProcess&) = delete;

    // Runs `body`; if it ends the process, the normal end has already closed
    // the units (as the real process would) when this returns.
    ProcessOutcome run(const std::function<void()>& body);

    // The system-call table in use, to inject faults before `run`.
    platform::SystemCalls& calls() { return platform::systemCalls(); }

private:
    platform::SystemCalls previous_;
};

}  // namespace gscmerge::testing
