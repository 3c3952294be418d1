#include "tests/support/captured_process.h"

#include "textio/process.h"

namespace gscmerge::testing {
namespace {

struct ProcessExit {
    int status;
};

ProcessOutcome* current = nullptr;

platform::WriteResult captureStandard(platform::StandardStream stream, const char* bytes,
                                      std::size_t count) {
    if (current != nullptr) {
        (stream == platform::StandardStream::Error ? current->err : current->out)
            .append(bytes, count);
    }
    return {count, platform::FileError::None};
}

void unwindExit(int status) {
    throw ProcessExit{status};
}

}  // namespace

CapturedProcess::CapturedProcess(const platform::SystemCalls& base)
    : previous_(platform::systemCalls()) {
    textio::resetProcessState();
    platform::systemCalls() = base;
    platform::systemCalls().writeStandard = captureStandard;
    platform::systemCalls().exitProcess = unwindExit;
}

CapturedProcess::~CapturedProcess() {
    platform::systemCalls() = previous_;
    textio::resetProcessState();
    current = nullptr;
}

ProcessOutcome CapturedProcess::run(const std::function<void()>& body) {
    ProcessOutcome outcome;
    current = &outcome;
    try {
        body();
    } catch (const ProcessExit& exit) {
        outcome.ended = true;
        outcome.status = exit.status;
    }
    current = nullptr;
    return outcome;
}

}  // namespace gscmerge::testing
