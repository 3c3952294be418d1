// The error report, the stop, the floating-point traps and the normal end,
// byte for byte with their exit statuses. The report's shape is checked in
// process; whatever needs the real start-up and end (hardware traps, the
// exit) runs in a separate test program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <ios>
#include <limits>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"
#include "tests/support/printable.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"
#include "textio/error_report.h"
#include "textio/floating_point.h"

namespace gscmerge::testing {
namespace {

using textio::StatementKind;

// --- The report's bytes ------------------------------------------------------

struct ReportCase {
    const char* name;
    int number;
    StatementKind kind;
    const char* unitName;
    const char* message;
    const char* bytes;
};

void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.number << " " << printable(c.unitName) << " " << printable(c.message) << " -> "
        << printable(c.bytes);
}

class RuntimeErrorReport : public ::testing::TestWithParam<ReportCase> {};

TEST_P(RuntimeErrorReport, IsWrittenToStandardErrorAndEndsWithStatus1) {
    const ReportCase& c = GetParam();
    CapturedProcess process;
    const ProcessOutcome outcome =
        process.run([&] { textio::raiseRuntimeError(c.number, c.kind, c.unitName, c.message); });
    EXPECT_EQ(outcome.err, c.bytes);
    EXPECT_EQ(outcome.out, "");
    EXPECT_TRUE(outcome.ended);
    EXPECT_EQ(outcome.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RuntimeErrorReport,
    ::testing::Values(
        ReportCase{"Open", 6416, StatementKind::Open, "N0000.raw", "file not found",
                   "\r\nrun-time error F6416: OPEN(N0000.raw)\r\n- file not found\r\n"},
        ReportCase{"Close", 6404, StatementKind::Close, "gsctmp.tmp", "denied",
                   "\r\nrun-time error F6404: CLOSE(gsctmp.tmp)\r\n- denied\r\n"},
        ReportCase{"Read", 6501, StatementKind::Read, "merlode.ins", "end of file",
                   "\r\nrun-time error F6501: READ(merlode.ins)\r\n- end of file\r\n"},
        ReportCase{"WriteOnConsole", 6205, StatementKind::Write, "CON", "mismatch",
                   "\r\nrun-time error F6205: WRITE(CON)\r\n- mismatch\r\n"},
        ReportCase{"EmptyMessage", 6500, StatementKind::Read, "N0000.raw", "",
                   "\r\nrun-time error F6500: READ(N0000.raw)\r\n\r\n"},
        ReportCase{"Math", 6103, StatementKind::Math, "ignored",
                   "floating-point error: divide by zero",
                   "\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n"},
        ReportCase{"NoStatement", 6700, StatementKind::None, "ignored", "not enough storage",
                   "\r\nrun-time error F6700\r\n- not enough storage\r\n"},
        ReportCase{"NumberPadded", 42, StatementKind::None, "", "x",
                   "\r\nrun-time error F0042\r\n- x\r\n"}),
    caseName<ReportCase>);

TEST(RuntimeErrorReport, NameOfUpTo259CharactersAndAMessageFitWhole) {
    const std::string name(259, 'n');
    const std::string message(200, 'm');
    CapturedProcess process;
    const ProcessOutcome outcome =
        process.run([&] { textio::raiseRuntimeError(6416, StatementKind::Open, name, message); });
    EXPECT_EQ(outcome.err, "\r\nrun-time error F6416: OPEN(" + name + ")\r\n- " + message + "\r\n");
}

// --- Real-to-integer conversion ------------------------------------------------

struct TruncateCase {
    const char* name;
    double value;
    std::int32_t expected;  // unused where the conversion is invalid
};

void PrintTo(const TruncateCase& c, std::ostream* os) {
    *os << std::hexfloat << c.value << std::defaultfloat << " -> " << c.expected;
}

class TruncateToInt32 : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(TruncateToInt32, TruncatesThroughSixtyFourBitsKeepingTheLow32) {
    const double value = GetParam().value;
    const std::int32_t expected = GetParam().expected;
    CapturedProcess process;
    std::int32_t result = 0;
    const ProcessOutcome outcome = process.run([&] { result = textio::truncateToInt32(value); });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(result, expected) << value;
}

INSTANTIATE_TEST_SUITE_P(
    Values, TruncateToInt32,
    ::testing::Values(TruncateCase{"TwoPoint9", 2.9, 2}, TruncateCase{"MinusTwoPoint9", -2.9, -2},
                      TruncateCase{"MinusHalf", -0.5, 0},
                      TruncateCase{"JustBelow435", 434.99999999999994, 434},
                      TruncateCase{"JustBelowTwoTo31", 0x1.fffffffffffffp30, INT32_MAX},
                      TruncateCase{"TwoTo31", 0x1p31, INT32_MIN},
                      TruncateCase{"MinusTwoTo31", -0x1p31, INT32_MIN},
                      TruncateCase{"JustBeyondMinusTwoTo31", -0x1.0000000000001p31, INT32_MIN},
                      TruncateCase{"MinusTwoTo31Minus1", -0x1p31 - 1.0, INT32_MAX},
                      TruncateCase{"TwoTo32Plus5", 0x1p32 + 5.0, 5},
                      TruncateCase{"MinusTwoTo32Minus1", -0x1p32 - 1.0, -1},
                      TruncateCase{"MinusTwoTo63", -0x1p63, 0},
                      // The largest double below 2^63: 0x7FFFFFFFFFFFFC00.
                      TruncateCase{"LargestBelowTwoTo63", 0x1.fffffffffffffp62, -1024}),
    caseName<TruncateCase>);

class TruncateToInt32Invalid : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(TruncateToInt32Invalid, IsTheInvalidOperationTrap) {
    CapturedProcess process;
    const double value = GetParam().value;
    const ProcessOutcome outcome = process.run([&] { (void)textio::truncateToInt32(value); });
    EXPECT_EQ(outcome.err, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");
    EXPECT_EQ(outcome.status, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Values, TruncateToInt32Invalid,
    ::testing::Values(TruncateCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), 0},
                      TruncateCase{"TwoTo63", 0x1p63, 0},
                      TruncateCase{"BelowMinusTwoTo63", -0x1p63 - 2048.0, 0},
                      TruncateCase{"Infinity", HUGE_VAL, 0},
                      TruncateCase{"MinusInfinity", -HUGE_VAL, 0}),
    caseName<TruncateCase>);

// --- Whole processes -------------------------------------------------------------

struct FlowCase {
    const char* flow;
    std::string out;
    std::string err;
    int status;
    std::vector<std::pair<const char*, const char*>> files;  // name, bytes afterwards
};

void PrintTo(const FlowCase& c, std::ostream* os) {
    *os << c.flow;
}

// Every flow runs twice: with the hardware traps, and with them masked as on
// a machine (or under an emulator) where they never fire. The bytes, files
// and status must be the same.
enum class Traps : std::uint8_t { Firing, Masked };

void PrintTo(Traps traps, std::ostream* os) {
    *os << (traps == Traps::Masked ? "traps masked" : "traps firing");
}

class ProcessFrame : public ::testing::TestWithParam<std::tuple<FlowCase, Traps>> {};

TEST_P(ProcessFrame, EndsWithTheseBytesAndStatus) {
    const FlowCase& c = std::get<0>(GetParam());
    TempDir dir;
    RunEnvironment environment;
    environment.arguments = {c.flow};
    if (std::get<1>(GetParam()) == Traps::Masked) {
        environment.variables = {"GSCMERGE_TEST_TRAPS=masked"};
    }
    const ProgramRun run = runProgramWith(PROCESS_FRAME_EXE, dir.path(), environment);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, c.status);
    for (const auto& [name, bytes] : c.files) {
        EXPECT_TRUE(fileExists(name)) << name;
        EXPECT_EQ(readFile(name), bytes) << name;
    }
}

const std::string kStop = "Stop - Program terminated.\r\n";
const std::string kMessage = "Error: too many entries in raw GSC file.";

std::string mathReport(const char* number, const char* word) {
    return std::string("\r\nrun-time error M") + number +
           ": MATH\r\n- floating-point error: " + word + "\r\n";
}

const std::string kMissingRaw = "\r\nrun-time error F6416: OPEN(N0000.raw)\r\n- file not found\r\n";
const std::string kFirstDiskFull =
    "\r\nrun-time error F6422: WRITE(first.g12)\r\n- no space left on the device\r\n";

INSTANTIATE_TEST_SUITE_P(
    Flows, ProcessFrame,
    ::testing::Combine(
        ::testing::Values(
            FlowCase{"return", "", "", 0, {}},
            // The normal end owes the message line its end.
            FlowCase{"return-after-message", "Done.\r\n", "", 0, {}},
            FlowCase{"stop", kStop, "", 0, {}},
            // The stop ends the message line, and the end ends it once more.
            FlowCase{"stop-after-message", kMessage + "\r\n" + kStop + "\r\n", "", 0, {}},
            FlowCase{"divide", "", mathReport("6103", "divide by zero"), 1, {}},
            FlowCase{"overflow", "", mathReport("6104", "overflow"), 1, {}},
            FlowCase{"invalid", "", mathReport("6101", "invalid"), 1, {}},
            FlowCase{"underflow", "quiet\r\n", "", 0, {}},
            FlowCase{"truncate-nan", "", mathReport("6101", "invalid"), 1, {}},
            FlowCase{"truncate-2p63", "", mathReport("6101", "invalid"), 1, {}},
            FlowCase{"truncate-wrap", "5 0 -2\r\n", "", 0, {}},
            FlowCase{"open-missing", "", kMissingRaw, 1, {{"merlode.ins", "header\r\n"}}},
            FlowCase{"units-at-end",
                     "",
                     "",
                     0,
                     {{"first.g12", "first\r\n"}, {"second.g12", "second\r\n"}}},
            // An error while the end closes units: reported once, the rest of
            // the end is abandoned (the second unit's output and the owed line
            // end), and the status is 1 even after a main flow that returned or
            // a stop: output was lost.
            FlowCase{"end-error",
                     "Converting.",
                     kFirstDiskFull,
                     1,
                     {{"first.g12", ""}, {"second.g12", ""}}},
            FlowCase{"end-error-after-stop", kStop, kFirstDiskFull, 1, {{"first.g12", ""}}},
            FlowCase{
                "end-error-after-error", "", kMissingRaw + kFirstDiskFull, 1, {{"first.g12", ""}}}),
        ::testing::Values(Traps::Firing, Traps::Masked)),
    [](const auto& test) {
        std::string name = std::get<0>(test.param).flow;
        for (char& c : name) {
            if (c == '-') c = '_';
        }
        return name + (std::get<1>(test.param) == Traps::Masked ? "_masked" : "");
    });

}  // namespace
}  // namespace gscmerge::testing
