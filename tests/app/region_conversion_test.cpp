// One region from its raw file to its output file, run as the built program:
// the records, the limits, and the two ways a bad region ends the run.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/app/catalogue_files.h"
#include "tests/support/case_name.h"
#include "tests/support/printable.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace gscmerge::testing {
namespace {

constexpr char kTooManyEntries[] = "Error: too many entries in raw GSC file.";
constexpr char kTooManyStars[] = "Error: too many distinct entries in raw file.";
constexpr char kInvalidSign[] = "Error: Invalid char. in decl. sign field.";

// A directory with "merlode.ins" naming the regions FIRST (converted
// without fault) and SECOND (the region under test), and an older output
// file of SECOND that a failing conversion must leave alone.
class TwoRegions : public ::testing::Test {
protected:
    void SetUp() override {
        writeFile("merlode.ins", instructions_);
        writeFile("FIRST.raw", firstRaw_);
        writeFile("SECOND.g12", kOlderOutput);
    }

    // Runs the program with `secondRaw` as SECOND.raw and checks that the
    // streams and the status are exact and that the directory holds the
    // inputs, FIRST's output, and `secondOutput` as SECOND.g12.
    void expectRun(const std::string& secondRaw, const std::string& out, const std::string& err,
                   int status, const std::string& secondOutput) {
        writeFile("SECOND.raw", secondRaw);
        const ProgramRun run = runProgram(GSCMERGE_EXE, dir_.path());
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err);
        EXPECT_EQ(run.status, status);
        EXPECT_EQ(directoryFiles(dir_.path()), (Files{{"merlode.ins", instructions_},
                                                      {"FIRST.raw", firstRaw_},
                                                      {"FIRST.g12", firstOutput_},
                                                      {"SECOND.raw", secondRaw},
                                                      {"SECOND.g12", secondOutput}}));
    }

    // The run converts SECOND and ends normally.
    void expectConverted(const std::string& secondRaw, const std::string& secondOutput) {
        expectRun(secondRaw, "", "", 0, secondOutput);
    }

    // The run stops with `message` while converting SECOND.
    void expectStop(const std::string& secondRaw, const char* message) {
        expectRun(secondRaw, stopAfter(message), "", 0, kOlderOutput);
    }

    // The run ends with a run-time error report while converting SECOND.
    void expectReport(const std::string& secondRaw, const std::string& err) {
        expectRun(secondRaw, "", err, 1, kOlderOutput);
    }

    [[nodiscard]] const std::filesystem::path& dir() const { return dir_.path(); }

    static constexpr char kOlderOutput[] = "an older output file\r\n";
    const std::string firstOutput_ = record(1, 7, "12 00 00.00", "+00 00 00.0", " 5.00") +
                                     record(1, 8, "00 00 00.29", "-00 00 02.3", "17.25");

private:
    TempDir dir_;
    const std::string instructions_ = instructionFile({"  FIRST", "  SECOND"});
    const std::string firstRaw_ =
        rawFile(3, {entryLine(1, 7, "12 00 00.00", "+00 00 00.0", "0.2", " 5.00", "0.10"),
                    entryLine(1, 8, "00 00 00.29", "-00 00 02.3", "0.2", "17.25", "0.10"),
                    entryLine(1, 8, "00 00 00.30", "-00 00 02.4", "0.9", "17.30", "0.20")});
};

// Entry lines of `stars` stars with `perStar` entries each; the position
// comes from each star's last entry and the magnitude from its first.
std::vector<std::string> entryLines(int stars, int perStar, std::string* output) {
    std::vector<std::string> lines;
    for (int s = 1; s <= stars; ++s) {
        char ra[32];
        char dec[32];
        std::snprintf(ra, sizeof ra, "%02d %02d %02d.%02d", s % 24, s % 60, s % 59, s % 100);
        std::snprintf(dec, sizeof dec, "%c%02d %02d %02d.%d", s % 2 == 0 ? '+' : '-', s % 90,
                      s % 60, s % 60, s % 10);
        for (int e = 1; e <= perStar; ++e) {
            const bool last = e == perStar;
            lines.push_back(entryLine(2, s, last ? ra : "00 00 00.00", last ? dec : "+00 00 00.0",
                                      last ? "0.1" : "0.5", e == 1 ? "11.11" : "22.22",
                                      e == 1 ? "0.01" : "0.02"));
        }
        *output += record(2, s, ra, dec, "11.11");
    }
    return lines;
}

TEST_F(TwoRegions, ExampleRecord) {
    expectConverted(
        rawFile(1, {entryLine(1234, 56, "01 02 03.45", "-04 05 06.7", "0.3", "12.34", "0.15")}),
        "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n");
}

TEST_F(TwoRegions, StarsOfSeveralEntriesTakeTheBestPositionAndMagnitude) {
    expectConverted(
        rawFile(7, {entryLine(9, 1, "05 00 00.00", "+10 00 00.0", "0.5", " 8.00", "0.10"),
                    entryLine(9, 1, "05 00 00.10", "+10 00 00.1", "0.3", " 8.10", "0.20"),
                    entryLine(9, 1, "05 00 00.20", "+10 00 00.2", "0.3", " 8.20", "0.05"),
                    // Equal errors keep the first entry.
                    entryLine(9, 2, "06 00 00.00", "-10 00 00.0", "0.4", " 9.00", "0.10"),
                    entryLine(9, 2, "06 00 00.10", "-10 00 00.1", "0.4", " 9.10", "0.10"),
                    // The identifier 9:1 again, after another star: a star of its own.
                    entryLine(9, 1, "07 00 00.00", "+20 00 00.0", "0.4", "10.00", "0.10"),
                    entryLine(9, 1, "07 00 00.10", "+20 00 00.1", "0.3", "10.10", "0.20")}),
        record(9, 1, "05 00 00.10", "+10 00 00.1", " 8.20") +
            record(9, 2, "06 00 00.00", "-10 00 00.0", " 9.00") +
            record(9, 1, "07 00 00.10", "+20 00 00.1", "10.00"));
}

TEST_F(TwoRegions, ValuesThatCarryAreWrittenRounded) {
    expectConverted(rawFile(6,
                            {// Whole seconds arrive just below themselves and carry back.
                             entryLine(5, 1, "01 00 30.00", "+90 00 00.0", "0.1", "10.00", "0.1"),
                             entryLine(5, 2, "00 00 01.00", "-00 30 00.0", "0.1", "10.00", "0.1"),
                             // Three decimals: 1.999 s rounds to 02.00, 1.99" to 02.0.
                             entryLine(5, 3, "00 00 1.999", "+00 00 1.99", "0.1", "10.00", "0.1"),
                             // A thousandth below 24 hours carries into 00 hours; a
                             // hundredth below -90 degrees carries into the degrees.
                             entryLine(5, 4, "24 00 -.001", "-90 00 -.01", "0.1", "10.00", "0.1"),
                             // An all-zero declination loses its minus sign.
                             entryLine(5, 5, "00 00 00.00", "-00 00 00.0", "0.1", "10.00", "0.1"),
                             entryLine(5, 6, "24 00 00.00", "+00 00 02.3", "0.1", "10.00", "0.1")}),
                    record(5, 1, "01 00 30.00", "+90 00 00.0", "10.00") +
                        record(5, 2, "00 00 01.00", "-00 30 00.0", "10.00") +
                        record(5, 3, "00 00 02.00", "+00 00 02.0", "10.00") +
                        record(5, 4, "00 00 00.00", "-90 00 00.0", "10.00") +
                        record(5, 5, "00 00 00.00", "+00 00 00.0", "10.00") +
                        record(5, 6, "24 00 00.00", "+00 00 02.3", "10.00"));
}

TEST_F(TwoRegions, LineEndsAndFieldFormsOfTheRawFile) {
    // LF alone, a last line without its line end, blanks and implied
    // decimals in the numeric fields, and lines ending before their fields.
    std::string raw = rawFile(3,
                              {entryLine(7, 1, " 1  2  3 45", "- 4 5   6 7", "0.3", "1234", "15"),
                               "       7       2 03 04 05.06 +07 08 09.1"},
                              "\n");
    raw += "       7       3 00 00 00.01 +";
    expectConverted(raw, record(7, 1, "01 02 03.45", "-04 05 06.7", "12.34") +
                             record(7, 2, "03 04 05.06", "+07 08 09.1", "  .00") +
                             record(7, 3, "00 00 00.01", "+00 00 00.0", "  .00"));
}

TEST_F(TwoRegions, CountSmallerThanTheLinesReadsOnlyThatMany) {
    expectConverted(
        rawFile(1, {entryLine(3, 1, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"),
                    "not an entry line at all"}),
        record(3, 1, "00 00 00.00", "+00 00 00.0", "10.00"));
}

TEST_F(TwoRegions, CountOfZeroGivesAnEmptyFile) {
    expectConverted(rawFile(0, {}), "");
}

TEST_F(TwoRegions, NegativeCountGivesAnEmptyFile) {
    expectConverted(rawFile(-5, {"not an entry line at all"}), "");
}

TEST_F(TwoRegions, BlankCountGivesAnEmptyFile) {
    expectConverted(rawFile("", {}), "");
}

TEST_F(TwoRegions, TwoThousandEntriesInAThousandStars) {
    std::string output;
    const std::vector<std::string> lines = entryLines(1000, 2, &output);
    expectConverted(rawFile(2000, lines), output);
}

TEST_F(TwoRegions, TheTwoThousandAndFirstEntryStops) {
    std::string output;
    std::vector<std::string> lines = entryLines(1000, 2, &output);
    lines.push_back(entryLine(2, 1000, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"));
    expectStop(rawFile(2001, lines), kTooManyEntries);
}

TEST_F(TwoRegions, TheTwoThousandAndFirstLineIsReadBeforeTheCheck) {
    std::string output;
    std::vector<std::string> lines = entryLines(1000, 2, &output);
    lines.push_back("       X       1");
    expectReport(rawFile(2001, lines),
                 report("F6101: READ(SECOND.raw)", "invalid character in an integer field"));
}

TEST_F(TwoRegions, TheEntryLimitIsCheckedBeforeTheSign) {
    std::string output;
    std::vector<std::string> lines = entryLines(1000, 2, &output);
    lines.push_back(entryLine(2, 1000, "00 00 00.00", " 00 00 00.0", "0.1", "10.00", "0.1"));
    expectStop(rawFile(2001, lines), kTooManyEntries);
}

TEST_F(TwoRegions, TheThousandAndFirstStarStopsEvenOnTheLastLine) {
    std::string output;
    std::vector<std::string> lines = entryLines(999, 2, &output);
    lines.push_back(entryLine(2, 1000, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"));
    lines.push_back(entryLine(2, 1001, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"));
    ASSERT_EQ(lines.size(), 2000u);
    expectStop(rawFile(2000, lines), kTooManyStars);
}

TEST_F(TwoRegions, AThousandStarsOfOneEntryEach) {
    std::string output;
    expectConverted(rawFile(1000, entryLines(1000, 1, &output)), output);
}

TEST_F(TwoRegions, ARepeatedIdentifierCountsAsANewStar) {
    std::vector<std::string> lines;
    for (int m = 0; m < 1001; ++m) {
        lines.push_back(entryLine(3, m % 2, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"));
    }
    expectStop(rawFile(1001, lines), kTooManyStars);
}

struct SignCase {
    const char* name;
    const char* declination;  // the declination field of the second entry
};

void PrintTo(const SignCase& c, std::ostream* os) {
    *os << printable(c.declination);
}

class SignTest : public TwoRegions, public ::testing::WithParamInterface<SignCase> {};

TEST_P(SignTest, AnythingButPlusOrMinusStops) {
    expectStop(
        rawFile(2, {entryLine(4, 1, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"),
                    entryLine(4, 2, "00 00 00.00", GetParam().declination, "0.1", "10.00", "0.1")}),
        kInvalidSign);
}

INSTANTIATE_TEST_SUITE_P(Signs, SignTest,
                         ::testing::Values(SignCase{"Blank", " 00 00 00.0"},
                                           SignCase{"Digit", "000 00 00.0"},
                                           SignCase{"Asterisk", "*00 00 00.0"},
                                           SignCase{"Letter", "p00 00 00.0"}),
                         caseName<SignCase>);

TEST_F(TwoRegions, ALineEndingBeforeTheSignHasABlankSign) {
    expectStop(rawFile(1, {"       4       1 00 00 00.00"}), kInvalidSign);
}

TEST_F(TwoRegions, RightAscensionIsEncodedBeforeTheSignIsChecked) {
    // Seconds of 9E99 leave the integer range: the invalid-operation trap
    // comes before the blank sign of the same line is looked at.
    expectReport(rawFile(1, {entryLine(4, 1, "00 00  9E99", " 00 00 00.0", "0.1", "10.00", "0.1")}),
                 report("M6101: MATH", "floating-point error: invalid"));
}

TEST_F(TwoRegions, MissingRawFileIsReported) {
    // No SECOND.raw at all.
    writeFile("merlode.ins", instructionFile({"  FIRST", "  MISSING", "  SECOND"}));
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, report("F6416: OPEN(MISSING.raw)", "file not found"));
    EXPECT_EQ(run.status, 1);
    const Files files = directoryFiles(dir());
    EXPECT_EQ(files.at("FIRST.g12"), firstOutput_);
    EXPECT_EQ(files.at("SECOND.g12"), kOlderOutput);
    EXPECT_EQ(files.size(), 4u);  // no scratch file left
}

TEST_F(TwoRegions, UnreadableFieldIsReportedWithTheRawFile) {
    expectReport(rawFile(2, {entryLine(4, 1, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"),
                             entryLine(4, 2, "0h 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1")}),
                 report("F6101: READ(SECOND.raw)", "invalid character in an integer field"));
}

TEST_F(TwoRegions, UnreadableRealFieldIsReportedWithTheRawFile) {
    expectReport(rawFile(1, {entryLine(4, 1, "00 00 00.00", "+00 00 00.0", "0.1", "1O.00", "0.1")}),
                 report("F6103: READ(SECOND.raw)", "invalid character in a real field"));
}

TEST_F(TwoRegions, UnreadableCountIsReportedWithTheRawFile) {
    expectReport(rawFile("12a", {}),
                 report("F6101: READ(SECOND.raw)", "invalid character in an integer field"));
}

TEST_F(TwoRegions, EarlyEndOfTheEntriesIsReported) {
    expectReport(rawFile(3, {entryLine(4, 1, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1"),
                             entryLine(4, 2, "00 00 00.00", "+00 00 00.0", "0.1", "10.00", "0.1")}),
                 report("F6501: READ(SECOND.raw)", "end of file"));
}

TEST_F(TwoRegions, EarlyEndOfTheHeaderIsReported) {
    expectReport("one\ntwo\nthree\n", report("F6501: READ(SECOND.raw)", "end of file"));
}

}  // namespace
}  // namespace gscmerge::testing
