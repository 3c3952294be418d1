// The batch over "merlode.ins": which lines name regions, and the file names
// derived from columns 3-10.
#include <gtest/gtest.h>

#include <ostream>

#include "tests/app/catalogue_files.h"
#include "tests/support/case_name.h"
#include "tests/support/printable.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace gscmerge::testing {
namespace {

const std::string kEntry =
    entryLine(1234, 56, "01 02 03.45", "-04 05 06.7", "0.3", "12.34", "0.15");
const std::string kRecord = record(1234, 56, "01 02 03.45", "-04 05 06.7", "12.34");

struct NamingCase {
    const char* name;
    const char* line;     // the instruction line
    const char* rawName;  // the raw file it reads
    const char* outName;  // the output file it writes
};

void PrintTo(const NamingCase& c, std::ostream* os) {
    *os << "instruction line " << printable(c.line) << " -> " << printable(c.rawName) << ", "
        << printable(c.outName);
}

class NamingTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(NamingTest, DerivesBothFileNames) {
    const NamingCase& c = GetParam();
    TempDir dir;
    const std::string instructions = instructionFile({c.line});
    const std::string raw = rawFile(1, {kEntry});
    writeFile("merlode.ins", instructions);
    writeFile(c.rawName, raw);

    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());

    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    // The scratch file is gone and nothing else was written.
    EXPECT_EQ(directoryFiles(dir.path()),
              (Files{{"merlode.ins", instructions}, {c.rawName, raw}, {c.outName, kRecord}}));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, NamingTest,
    ::testing::Values(
        NamingCase{"EightCharacters", "  ABCDEFGH", "ABCDEFGH.raw", "ABCDEFGH.g12"},
        NamingCase{"ColumnsAfterTheNameIgnored", "XXABCDEFGHIJ", "ABCDEFGH.raw", "ABCDEFGH.g12"},
        // The suffix is always lower case and replaces what followed the base.
        NamingCase{"FullStopEndsTheName", "  N0000.RAW", "N0000.raw", "N0000.g12"},
        NamingCase{"BlankEndsTheName", "  AB CD", "AB.raw", "AB.g12"},
        NamingCase{"BlankInColumnThree", "   XYZ", ".raw", ".g12"},
        NamingCase{"FullStopInColumnThree", "  .XYZ", ".raw", ".g12"},
        NamingCase{"CodeOnly", "XX", ".raw", ".g12"}, NamingCase{"EmptyLine", "", ".raw", ".g12"},
        // Any other character belongs to the name.
        NamingCase{"PunctuationAndControlCharacters", "  a-b_\t~", "a-b_\t~.raw", "a-b_\t~.g12"},
        // Only "EN" exactly ends the batch.
        NamingCase{"LowerCaseEn", "enLOWER", "LOWER.raw", "LOWER.g12"},
        NamingCase{"ETrailingBlank", "E SOUTH", "SOUTH.raw", "SOUTH.g12"},
        NamingCase{"ELeadingBlank", " ENORTH", "NORTH.raw", "NORTH.g12"}),
    caseName<NamingCase>);

TEST(Batch, RegionsAreConvertedInOrderUpToTheEndLine) {
    TempDir dir;
    // A later region of the same name replaces the earlier output; after the
    // "EN" line nothing is read, not even a line naming a missing region.
    const std::string instructions =
        kHeaderLines + std::string("  REGA\n  REGB\n  REGA\nEN and more\n  MISSING\n");
    const std::string rawA1 = rawFile(1, {kEntry});
    const std::string rawB =
        rawFile(1, {entryLine(4321, 1, "23 59 59.99", "+89 59 59.9", "0.2", " 9.87", "0.05")});
    writeFile("merlode.ins", instructions);
    writeFile("REGA.raw", rawA1);
    writeFile("REGB.raw", rawB);
    writeFile("gsctmp.tmp", "left over from an interrupted run\r\n");

    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());

    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(directoryFiles(dir.path()),
              (Files{{"merlode.ins", instructions},
                     {"REGA.raw", rawA1},
                     {"REGB.raw", rawB},
                     {"REGA.g12", kRecord},
                     {"REGB.g12", record(4321, 1, "23 59 59.99", "+89 59 59.9", " 9.87")}}));
}

TEST(Batch, EndLineAsFirstEntryConvertsNothing) {
    TempDir dir;
    writeFile("merlode.ins", instructionFile({}));
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(directoryFiles(dir.path()).size(), 1u);
}

TEST(Batch, MissingEndLineIsAnEndOfFileAfterTheLastRegion) {
    TempDir dir;
    const std::string instructions = instructionFile({"  REGA"}, false);
    const std::string raw = rawFile(1, {kEntry});
    writeFile("merlode.ins", instructions);
    writeFile("REGA.raw", raw);

    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());

    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, report("F6501: READ(merlode.ins)", "end of file"));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(directoryFiles(dir.path()),
              (Files{{"merlode.ins", instructions}, {"REGA.raw", raw}, {"REGA.g12", kRecord}}));
}

TEST(Batch, FewerThanSevenHeaderLinesIsAnEndOfFile) {
    TempDir dir;
    writeFile("merlode.ins", "one\ntwo\nthree\nfour\nfive\nEN\n");
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, report("F6501: READ(merlode.ins)", "end of file"));
    EXPECT_EQ(run.status, 1);
}

}  // namespace
}  // namespace gscmerge::testing
