// The report is built in a stack buffer and written straight to the
// standard-error handle with one write, never through a unit's buffer.
#include "textio/error_report.h"

#include <cfenv>
#include <cstring>

#include "textio/floating_point.h"
#include "textio/platform.h"
#include "textio/process_exit.h"

namespace gscmerge::textio {
namespace {

using platform::StandardStream;
using platform::systemCalls;

// A bounded text builder over a stack buffer; the report never needs more
// than a name of 259 characters and a one-line message.
class ReportText {
public:
    void append(std::string_view text) {
        const std::size_t room = sizeof(bytes_) - length_;
        const std::size_t count = text.size() < room ? text.size() : room;
        std::memcpy(bytes_ + length_, text.data(), count);
        length_ += count;
    }
    void appendNumber(int number) {
        char digits[4];
        for (int i = 3; i >= 0; --i) {
            digits[i] = static_cast<char>('0' + number % 10);
            number /= 10;
        }
        append({digits, 4});
    }
    [[nodiscard]] std::string_view text() const { return {bytes_, length_}; }

private:
    char bytes_[1024];
    std::size_t length_ = 0;
};

bool showsUnitName(StatementKind kind) {
    return kind == StatementKind::Open || kind == StatementKind::Close ||
           kind == StatementKind::Read || kind == StatementKind::Write;
}

std::string_view trapWord(int number) {
    switch (number) {
        case 6101:
            return "invalid";
        case 6102:
            return "denormal";
        case 6103:
            return "divide by zero";
        case 6104:
            return "overflow";
        case 6105:
            return "underflow";
        case 6106:
            return "inexact";
        case 6108:
            return "square root";
        case 6110:
            return "stack overflow";
        case 6111:
            return "stack underflow";
        default:
            return "invalid";
    }
}

[[noreturn]] void raiseTrap(int number) {
    ReportText message;
    message.append("floating-point error: ");
    message.append(trapWord(number));
    raiseRuntimeError(number, StatementKind::Math, {}, message.text());
}

// The trap number of the exception whose flag is up, in the order the
// hardware reports several at once; 0 when none is.
int flaggedTrapNumber() {
    const int flags = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    if ((flags & FE_INVALID) != 0) return 6101;
    if ((flags & FE_DIVBYZERO) != 0) return 6103;
    if ((flags & FE_OVERFLOW) != 0) return 6104;
    return 0;
}

}  // namespace

std::string_view runtimeErrorMessage(int number) {
    // One line a number: the table reads as a table.
    // clang-format off
    switch (number) {
        case 6100: return "integer overflow in a numeric field";
        case 6101: return "invalid character in an integer field";
        case 6102: return "real value out of range in a numeric field";
        case 6103: return "invalid character in a real field";
        case 6205: return "character item does not match a numeric field";
        case 6206: return "real item does not match an integer field";
        case 6207: return "integer item does not match a real field";
        case 6302: return "second radix mark in an integer field";
        case 6303: return "radix outside 2 to 36 in an integer field";
        case 6404: return "file could not be deleted: access denied";
        case 6412: return "file name or parameter not valid";
        case 6413: return "file is already connected to another unit";
        case 6414: return "access to the file denied";
        case 6415: return "file already exists";
        case 6416: return "file not found";
        case 6417: return "too many files open";
        case 6418: return "too many units connected";
        case 6421: return "write refused: access denied";
        case 6422: return "no space left on the device";
        case 6500: return "read failure";
        case 6501: return "end of file";
        case 6509: return "literal in a layout used for reading";
        case 6700: return "not enough storage";
        case 6980: return "width, decimals or minimum digits missing in the layout";
        case 6981: return "layout does not begin with '('";
        case 6983: return "number in front of a literal, comma or ')' in the layout";
        case 6987: return "'.' missing after the width of an F field in the layout";
        case 6988: return "literal or layout not closed";
        case 6989: return "unexpected character or comma in the layout";
        case 6990: return "minimum digits greater than the width in the layout";
        case 6991: return "number too large in the layout";
        default: return "input/output error";
    }
    // clang-format on
}

std::string_view statementKindName(StatementKind kind) {
    switch (kind) {
        case StatementKind::Open:
            return "OPEN";
        case StatementKind::Close:
            return "CLOSE";
        case StatementKind::Read:
            return "READ";
        case StatementKind::Write:
            return "WRITE";
        case StatementKind::Math:
            return "MATH";
        case StatementKind::None:
            break;
    }
    return {};
}

void raiseRuntimeError(int number, StatementKind kind, std::string_view unitName,
                       std::string_view message) {
    // An exception flagged before this failure would have trapped first.
    if (kind != StatementKind::Math && !terminationInProgress()) {
        raiseIfFloatingPointFlagged();
    }
    ReportText report;
    report.append("\r\nrun-time error ");
    report.append(kind == StatementKind::Math ? "M" : "F");
    report.appendNumber(number);
    if (kind != StatementKind::None) {
        report.append(": ");
        report.append(statementKindName(kind));
    }
    if (showsUnitName(kind)) {
        report.append("(");
        report.append(unitName);
        report.append(message.empty() ? ")\r\n" : ")\r\n- ");
    } else {
        report.append("\r\n- ");
    }
    report.append(message);
    report.append("\r\n");
    (void)systemCalls().writeStandard(StandardStream::Error, report.text().data(),
                                      report.text().size());

    // A report raised while the end closes the units abandons the rest of
    // the end. Its status is 1 even when the end began with 0: a run whose
    // output could not all be stored never counts as a success.
    if (terminationInProgress()) exitImmediately(1);
    exitProgram(1);
}

void raiseRuntimeError(int number, StatementKind kind, std::string_view unitName) {
    raiseRuntimeError(number, kind, unitName, runtimeErrorMessage(number));
}

void raiseFloatingPointTrap(int number) {
    // The end of the process does no arithmetic, but must not trap again.
    systemCalls().disableFloatingPointTraps();
    raiseTrap(number);
}

void raiseFlaggedTrap() {
    const int number = flaggedTrapNumber();
    raiseFloatingPointTrap(number != 0 ? number : 6101);
}

}  // namespace gscmerge::textio
