#include "fuzz/harness.h"

#include <setjmp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "textio/platform.h"

namespace gscmerge::fuzz {
namespace {

using textio::StatementKind;

bool consume(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

std::string_view trapWord(int number) {
    switch (number) {
        case 6101:
            return "invalid";
        case 6103:
            return "divide by zero";
        case 6104:
            return "overflow";
        default:
            return {};
    }
}

// A trap arrives in a signal handler, which an exception must not leave: the
// handler jumps back to the harness with the trap's number instead. The
// frames between hold nothing that needs destroying (the program's per-line
// path neither allocates nor owns resources beyond the unit table).
sigjmp_buf trapJump;
volatile int trapNumber = 0;

[[noreturn]] void jumpOutOfTrap(int number) {
    trapNumber = number;
    siglongjmp(trapJump, 1);
}

}  // namespace

Outcome runCaptured(const std::function<void()>& body, Traps traps) {
    // A copy: the capture is installed over the table it is given.
    const platform::SystemCalls base = platform::systemCalls();
    testing::CapturedProcess process(base);
    if (traps == Traps::Masked) return process.run(body);
    const Outcome outcome = process.run([&] {
        if (sigsetjmp(trapJump, 1) != 0) {
            // Back from a trap: its report and the end, as the program's own
            // handler gives them.
            textio::raiseFloatingPointTrap(trapNumber);
        }
        platform::systemCalls().enableFloatingPointTraps(jumpOutOfTrap);
        body();
    });
    platform::systemCalls().disableFloatingPointTraps();
    return outcome;
}

std::optional<Report> parseReport(std::string_view err) {
    Report report;
    if (!consume(err, "\r\nrun-time error ") || err.size() < 5) return std::nullopt;
    const char letter = err[0];
    for (std::size_t i = 1; i <= 4; ++i) {
        if (err[i] < '0' || err[i] > '9') return std::nullopt;
        report.number = report.number * 10 + (err[i] - '0');
    }
    err.remove_prefix(5);
    if (letter == 'M') {
        report.kind = StatementKind::Math;
        const std::string_view word = trapWord(report.number);
        if (word.empty() || !consume(err, ": MATH\r\n- floating-point error: ") ||
            !consume(err, word) || err != "\r\n") {
            return std::nullopt;
        }
        return report;
    }
    if (letter != 'F') return std::nullopt;
    static constexpr std::pair<std::string_view, StatementKind> kKinds[] = {
        {": OPEN(", StatementKind::Open},
        {": CLOSE(", StatementKind::Close},
        {": READ(", StatementKind::Read},
        {": WRITE(", StatementKind::Write},
    };
    report.kind = StatementKind::None;
    for (const auto& [text, kind] : kKinds) {
        if (consume(err, text)) {
            report.kind = kind;
            break;
        }
    }
    if (report.kind == StatementKind::None) {
        if (!consume(err, "\r\n- ")) return std::nullopt;
    } else {
        // A name never holds a line end: it comes from a line's data.
        const std::size_t close = err.find(")\r\n- ");
        if (close == std::string_view::npos) return std::nullopt;
        report.unitName = err.substr(0, close);
        err.remove_prefix(close + 5);
    }
    const std::string_view message = textio::runtimeErrorMessage(report.number);
    if (!consume(err, message) || err != "\r\n") return std::nullopt;
    return report;
}

bool isMessageAndStop(std::string_view out) {
    static constexpr std::string_view kMessages[] = {
        "Error: too many entries in raw GSC file.",
        "Error: Invalid char. in decl. sign field.",
        "Error: too many distinct entries in raw file.",
    };
    for (const std::string_view message : kMessages) {
        std::string_view rest = out;
        if (consume(rest, message) && rest == "\r\nStop - Program terminated.\r\n\r\n") return true;
    }
    return false;
}

bool oneOf(int number, std::span<const int> numbers) {
    return std::find(numbers.begin(), numbers.end(), number) != numbers.end();
}

Report expectReport(const Outcome& outcome, StatementKind kind, std::span<const int> numbers,
                    std::string_view unitName) {
    if (!outcome.ended || outcome.status != 1 || !outcome.out.empty()) {
        finding(
            "a run-time error report must end the process with status 1 and nothing on "
            "standard output",
            outcome);
    }
    const std::optional<Report> report = parseReport(outcome.err);
    if (!report) finding("standard error is not exactly one run-time error report", outcome);
    if (report->kind != kind || !oneOf(report->number, numbers)) {
        const std::string_view name = textio::statementKindName(kind);
        std::fprintf(stderr, "expected kind %.*s\n", static_cast<int>(name.size()), name.data());
        finding("a report this stage cannot give", outcome);
    }
    if (!unitName.empty() && report->unitName != unitName) {
        std::fprintf(stderr, "expected unit name \"%s\"\n", escaped(unitName).c_str());
        finding("the report names the wrong unit", outcome);
    }
    return *report;
}

void finding(std::string_view what, const Outcome& outcome) {
    std::fprintf(stderr,
                 "\n*** gscmerge fuzz finding: %.*s\n    ended: %d, status: %d\n"
                 "    standard output: \"%s\"\n    standard error: \"%s\"\n",
                 static_cast<int>(what.size()), what.data(), outcome.ended ? 1 : 0, outcome.status,
                 escaped(outcome.out).c_str(), escaped(outcome.err).c_str());
    std::abort();
}

}  // namespace gscmerge::fuzz
