// A whole process around one small main flow, chosen by the first argument,
// for the checks that need a real process: floating-point traps raised by the
// hardware, the stop and the normal end with their real exit statuses.
//
//     process_frame_main divide    ->  MATH report 6103 on standard error, status 1
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "textio/floating_point.h"
#include "textio/output.h"
#include "textio/platform.h"
#include "textio/process.h"
#include "textio/units.h"

namespace {

using namespace gscmerge;

// Kept in memory the compiler cannot see through, so that the arithmetic
// happens at run time, under the traps.
volatile double zero = 0.0;
volatile double largest = DBL_MAX;
volatile double smallest = DBL_MIN;
volatile double sink = 0.0;

void putWaiting(std::int32_t unit, std::string_view bytes) {
    textio::UnitConnection* connection = textio::findUnit(unit);
    connection->output.putChars(bytes.data(), bytes.size());
    connection->outputWaiting = true;
}

void report(const std::string& text) {
    textio::writeConsoleMessage(text);
}

platform::WriteResult diskFull(platform::FileHandle, const char*, std::size_t) {
    return {0, platform::FileError::DiskFull};
}

struct Flow {
    const char* name;
    textio::MainFlow run;
};

const Flow kFlows[] = {
    {"return", [] {}},
    {"return-after-message", [] { report("Done."); }},
    {"stop", [] { textio::stopProgram(); }},
    {"stop-after-message",
     [] {
         report("Error: too many entries in raw GSC file.");
         textio::stopProgram();
     }},
    {"divide", [] { sink = 1.0 / zero; }},
    {"overflow", [] { sink = largest * 2.0; }},
    {"invalid", [] { sink = zero / zero; }},
    {"underflow",
     [] {
         // Masked: the IEEE results arrive silently.
         const double vanished = smallest * smallest;
         const double denormal = smallest / 4.0;
         report(vanished == 0.0 && std::fpclassify(denormal) == FP_SUBNORMAL ? "quiet" : "wrong");
     }},
    {"truncate-nan", [] { sink = textio::truncateToInt32(std::nan("") + zero); }},
    {"truncate-2p63", [] { sink = textio::truncateToInt32(0x1p63 + zero); }},
    {"truncate-wrap",
     [] {
         report(std::to_string(textio::truncateToInt32(0x1p32 + 5.0 + zero)) + " " +
                std::to_string(textio::truncateToInt32(-0x1p63 + zero)) + " " +
                std::to_string(textio::truncateToInt32(-2.9 + zero)));
     }},
    {"open-missing",
     [] {
         textio::openUnit(1, "merlode.ins", "REPLACE");
         putWaiting(1, "header\r\n");
         textio::openUnit(3, "N0000.raw   ", "OLD");
     }},
    {"units-at-end",
     [] {
         textio::openUnit(2, "first.g12", "REPLACE");
         putWaiting(2, "first\r\n");
         textio::openUnit(3, "second.g12", "REPLACE");
         putWaiting(3, "second\r\n");
     }},
    // A full disk while the end writes the first unit's waiting output: one
    // report, the second unit and the owed line end are left as they are.
    {"end-error",
     [] {
         textio::openUnit(2, "first.g12", "REPLACE");
         putWaiting(2, "first\r\n");
         textio::openUnit(3, "second.g12", "REPLACE");
         putWaiting(3, "second\r\n");
         report("Converting.");
         platform::systemCalls().writeFile = diskFull;
     }},
    {"end-error-after-stop",
     [] {
         textio::openUnit(2, "first.g12", "REPLACE");
         putWaiting(2, "first\r\n");
         platform::systemCalls().writeFile = diskFull;
         textio::stopProgram();
     }},
    {"end-error-after-error",
     [] {
         textio::openUnit(2, "first.g12", "REPLACE");
         putWaiting(2, "first\r\n");
         platform::systemCalls().writeFile = diskFull;
         textio::openUnit(3, "N0000.raw", "OLD");
     }},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2) {
        for (const Flow& flow : kFlows) {
            if (std::strcmp(argv[1], flow.name) == 0) textio::runProgram(flow.run);
        }
    }
    std::fprintf(stderr, "usage: process_frame_main <flow>\n");
    return 2;
}
