// The console unit and its line control: each record is one write to
// standard output, so a message line is never split between writes.
#include "textio/console.h"

#include <string_view>

#include "textio/floating_point.h"
#include "textio/platform.h"

namespace gscmerge::textio {
namespace {

ConsoleUnit theConsole;

}  // namespace

ConsoleUnit& consoleUnit() {
    return theConsole;
}

void createConsoleUnits() {
    theConsole = ConsoleUnit{};
}

void writeConsoleRecord(ConsoleUnit& console, const char* record, std::size_t length) {
    // Nothing leaves the process after an operation that should have trapped.
    raiseIfFloatingPointFlagged();
    if (length > kConsoleRecordSize) length = kConsoleRecordSize;
    char bytes[kConsoleRecordSize + 5];  // 6 bytes of line control, the record less its first
    std::size_t count = 0;
    const bool open = console.lineEndOwed;
    const char control = length > 0 ? record[0] : ' ';
    auto add = [&](std::string_view text) {
        for (const char c : text) bytes[count++] = c;
    };
    switch (control) {
        case '0':
            add(open ? "\r\n\r\n" : "\r\n");
            break;
        case '+':
            add("\r");
            break;
        case '1':
            add("\r\n\f\r \r");
            break;
        default:
            if (open) add("\r\n");
            break;
    }
    for (std::size_t i = 1; i < length; ++i) bytes[count++] = record[i];
    (void)platform::systemCalls().writeStandard(platform::StandardStream::Output, bytes, count);
    console.lineEndOwed = true;
}

void endConsoleLine() {
    if (theConsole.lineEndOwed) {
        (void)platform::systemCalls().writeStandard(platform::StandardStream::Output, "\r\n", 2);
    }
}

}  // namespace gscmerge::textio
