#include "textio/process.h"

#include <cfenv>

#include "textio/console.h"
#include "textio/error_report.h"
#include "textio/floating_point.h"
#include "textio/platform.h"
#include "textio/process_exit.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace {

using platform::StandardStream;
using platform::systemCalls;

// The normal end: whatever is still connected is closed with its default
// status (waiting output written, files kept), then the console's owed line
// end is written. A failure while closing is reported, and the report
// abandons the rest.
void closeEverything() {
    closeAllUnits();
    endConsoleLine();
}

}  // namespace

void runProgram(MainFlow mainFlow) {
    systemCalls().prepareProcess();
    systemCalls().enableFloatingPointTraps(raiseFloatingPointTrap);
    createConsoleUnits();
    registerNormalEnd(closeEverything);
    mainFlow();
    endProcess(0);
}

void stopProgram() {
    raiseIfFloatingPointFlagged();
    endConsoleLine();
    constexpr char kStop[] = "Stop - Program terminated.\r\n";
    (void)systemCalls().writeStandard(StandardStream::Output, kStop, sizeof(kStop) - 1);
    endProcess(0);
}

void endProcess(int status) {
    // A flagged exception ends the run as its trap would have, before the
    // units' waiting output is written.
    if (!terminationInProgress()) raiseIfFloatingPointFlagged();
    exitProgram(status);
}

void resetProcessState() {
    std::feclearexcept(FE_ALL_EXCEPT);
    forgetAllUnits();
    createConsoleUnits();
    resetProcessExit();
    registerNormalEnd(closeEverything);
}

}  // namespace gscmerge::textio
