// The built program in an environment that misbehaves: standard output or
// standard error a pipe whose reader has gone, a file-size limit, the
// floating-point traps masked. None of it may kill the program or change
// its end: a stop still exits 0, a report still exits 1, and every output
// file written is complete.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/app/catalogue_files.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace gscmerge::testing {
namespace {

// Region N0001 converts, then the second instruction decides the end.
const std::string kGoodRaw =
    rawFile(2, {entryLine(1, 5, "01 02 03.45", "-04 05 06.7", "0.3", "12.34", "0.15"),
                entryLine(1, 6, "23 59 59.99", "+89 59 59.9", "0.5", "09.87", "0.05")});
const std::string kGoodOut = record(1, 5, "01 02 03.45", "-04 05 06.7", "12.34") +
                             record(1, 6, "23 59 59.99", "+89 59 59.9", " 9.87");

enum class Traps : std::uint8_t { Firing, Masked };
enum class Closed : std::uint8_t { Output, Error };

void PrintTo(Traps traps, std::ostream* os) {
    *os << (traps == Traps::Masked ? "masked" : "firing");
}
void PrintTo(Closed closed, std::ostream* os) {
    *os << (closed == Closed::Output ? "stdout" : "stderr");
}

struct EndCase {
    const char* label;
    const char* secondRegion;  // "" for none
    std::string out;
    std::string err;
    int status;
};

void PrintTo(const EndCase& c, std::ostream* os) {
    *os << c.label << " (status " << c.status << ")";
}

const EndCase kEnds[] = {
    {"Completes", "", "", "", 0},
    // A bad declination sign: a message and a stop.
    {"Stops", "BADSIGN", stopAfter("Error: Invalid char. in decl. sign field."), "", 0},
    // No raw file: a run-time error report.
    {"Reports", "MISSING", "", report("F6416: OPEN(MISSING.raw)", "file not found"), 1},
    // An overflowing right ascension: the trap's report.
    {"TrapReport", "OVERFLOW", "", report("M6104: MATH", "floating-point error: overflow"), 1},
};

void writeCatalogue(const EndCase& c) {
    std::vector<std::string> regions = {"  N0001"};
    if (*c.secondRegion != '\0') regions.push_back(std::string("  ") + c.secondRegion);
    writeFile("merlode.ins", instructionFile(regions));
    writeFile("N0001.raw", kGoodRaw);
    writeFile("BADSIGN.raw",
              rawFile(1, {entryLine(8, 1, "01 02 03.45", "*04 05 06.7", "0.3", "12.34", "0.20")}));
    writeFile("OVERFLOW.raw",
              rawFile(1, {entryLine(8, 1, "01 02 2E307", "+04 05 06.7", "0.3", "12.34", "0.20")}));
}

RunEnvironment environmentFor(Traps traps) {
    RunEnvironment environment;
    if (traps == Traps::Masked) environment.variables = {"GSCMERGE_TEST_TRAPS=masked"};
    return environment;
}

class ClosedPipe : public ::testing::TestWithParam<std::tuple<EndCase, Closed, Traps>> {};

TEST_P(ClosedPipe, ChangesNeitherTheStatusNorTheFiles) {
    const auto& [end, closed, traps] = GetParam();
    TempDir dir;
    writeCatalogue(end);
    RunEnvironment environment = environmentFor(traps);
    environment.outputClosed = closed == Closed::Output;
    environment.errorClosed = closed == Closed::Error;
    const ProgramRun run = runProgramWith(GSCMERGE_EXE, dir.path(), environment);
    EXPECT_EQ(run.status, end.status);
    EXPECT_EQ(readFile("N0001.g12"), kGoodOut);
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
    // The stream that still has a reader gets its bytes all the same.
    EXPECT_EQ(closed == Closed::Output ? run.err : run.out,
              closed == Closed::Output ? end.err : end.out);
}

INSTANTIATE_TEST_SUITE_P(Ends, ClosedPipe,
                         ::testing::Combine(::testing::ValuesIn(kEnds),
                                            ::testing::Values(Closed::Output, Closed::Error),
                                            ::testing::Values(Traps::Firing, Traps::Masked)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param).label) +
                                    (std::get<1>(test.param) == Closed::Output ? "_StdoutClosed"
                                                                               : "_StderrClosed") +
                                    (std::get<2>(test.param) == Traps::Masked ? "_Masked" : "");
                         });

// Under a 10 KiB file-size limit: the first region's small output is
// complete, the second region's 1000 star lines stop at the limit and the
// run ends in the WRITE report on that file.
class FileSizeLimit : public ::testing::TestWithParam<Traps> {};

TEST_P(FileSizeLimit, EndsInTheWriteReportOfTheFileThatMeetsIt) {
    TempDir dir;
    std::vector<std::string> lines;
    // 2000 entries, two of each of 1000 stars.
    for (int entry = 0; entry < 2000; ++entry) {
        lines.push_back(
            entryLine(2, 1 + entry / 2, "01 02 03.45", "-04 05 06.7", "0.3", "12.34", "0.15"));
    }
    writeFile("merlode.ins", instructionFile({"  N0001", "  BIG"}));
    writeFile("N0001.raw", kGoodRaw);
    writeFile("BIG.raw", rawFile(2000, lines));
    RunEnvironment environment = environmentFor(GetParam());
    environment.fileSizeLimit = 10 * 1024;
    const ProgramRun run = runProgramWith(GSCMERGE_EXE, dir.path(), environment);
    EXPECT_EQ(run.err, report("F6422: WRITE(BIG.g12)", "file too large"));
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(readFile("N0001.g12"), kGoodOut);
    const std::string big = readFile("BIG.g12");
    EXPECT_EQ(big.size(), 10u * 1024u);
    EXPECT_EQ(big.substr(0, 45), record(2, 1, "01 02 03.45", "-04 05 06.7", "12.34"));
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Traps, FileSizeLimit, ::testing::Values(Traps::Firing, Traps::Masked),
                         [](const auto& test) {
                             return std::string(test.param == Traps::Masked ? "Masked" : "Firing");
                         });

}  // namespace
}  // namespace gscmerge::testing
