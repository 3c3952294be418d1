// The built program, run as a user runs it.
#include <gtest/gtest.h>

#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

namespace gscmerge::testing {
namespace {

TEST(Program, MissingInstructionFileIsReportedOnStandardError) {
    TempDir dir;
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "\r\nrun-time error F6416: OPEN(merlode.ins)\r\n- file not found\r\n");
    EXPECT_EQ(run.status, 1);
}

TEST(Program, InstructionFileEndingAtOnceConvertsNothing) {
    TempDir dir;
    writeFile("merlode.ins", "1\n2\n3\n4\n5\n6\n7\nEN\n");
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
}

}  // namespace
}  // namespace gscmerge::testing
