#include "textio/process_exit.h"

#include <cstdlib>

#include "textio/platform.h"

namespace gscmerge::textio {
namespace {

struct ExitState {
    NormalEnd normalEnd = nullptr;
    bool terminationInProgress = false;
    int endStatus = 0;
};

ExitState exitState;

}  // namespace

void registerNormalEnd(NormalEnd normalEnd) {
    exitState.normalEnd = normalEnd;
}

void exitProgram(int status) {
    if (exitState.terminationInProgress) exitImmediately(exitState.endStatus);
    exitState.terminationInProgress = true;
    exitState.endStatus = status;
    if (exitState.normalEnd != nullptr) exitState.normalEnd();
    exitImmediately(status);
}

void exitImmediately(int status) {
    platform::systemCalls().exitProcess(status);
    std::abort();  // an exit that returns is a harness fault
}

bool terminationInProgress() {
    return exitState.terminationInProgress;
}

void resetProcessExit() {
    exitState = ExitState{};
}

}  // namespace gscmerge::textio
