// Faults of the file system in the middle of a batch: each is reported once,
// exactly, with status 1, and the output of the regions converted before it
// stays complete and unchanged.
#include "tests/support/fault_injection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

#include "catalogue/batch.h"
#include "tests/support/captured_process.h"
#include "tests/support/temp_dir.h"
#include "textio/termination.h"

namespace gscmerge::testing {
namespace {

using platform::Access;
using platform::FileError;

std::string rawRegionFile(int stars) {
    std::string bytes = "header 1\r\nheader 2\r\nheader 3\r\n";
    char line[96];
    std::snprintf(line, sizeof line, "%64s%4d\r\n", "", stars);
    bytes += line;
    bytes += "header 5\r\nheader 6\r\n";
    for (int star = 1; star <= stars; ++star) {
        std::snprintf(line, sizeof line, "%8d%8d 01 02 03.45 -04 05 06.7  0.2  12.34 0.05\r\n",
                      1234, star);
        bytes += line;
    }
    return bytes;
}

std::string outputFile(int stars) {
    std::string bytes;
    char line[64];
    for (int star = 1; star <= stars; ++star) {
        std::snprintf(line, sizeof line, "GSC 1234:%4d 01 02 03.45 -04 05 06.7 12.34\r\n", star);
        bytes += line;
    }
    return bytes;
}

const std::string kRegionA = outputFile(3);

// Two regions: AAAA converts cleanly first, then BBBB meets the fault.
class BatchFault : public ::testing::Test {
  protected:
    void writeCatalogue(int starsOfB) {
        writeFile("merlode.ins", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n  AAAA\r\n  BBBB\r\nEN\r\n");
        writeFile("AAAA.raw", rawRegionFile(3));
        writeFile("BBBB.raw", rawRegionFile(starsOfB));
    }

    ProcessOutcome runBatch() {
        return process.run([] {
            catalogue::runBatch();
            textio::endProcess(0);
        });
    }

    [[nodiscard]] long closesOf(const std::string& name) const {
        return std::count(faults.log().begin(), faults.log().end(), "close " + name);
    }

    TempDir dir;
    CapturedProcess process;
    FaultInjection faults{process.calls()};
};

TEST_F(BatchFault, WithoutAFaultBothRegionsConvert) {
    writeCatalogue(30);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), outputFile(30));
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
}

// --- Writing the output file -------------------------------------------------

struct WriteFaultCase {
    const char* label;
    int starsOfB;  // 30 stars fill the 1024-byte buffer while writing; 2 wait for the close
    FileError error;
    const char* report;
};

class OutputWriteFault : public BatchFault, public ::testing::WithParamInterface<WriteFaultCase> {};

TEST_P(OutputWriteFault, IsReportedOnceAndEarlierOutputStays) {
    const WriteFaultCase& c = GetParam();
    writeCatalogue(c.starsOfB);
    faults.limitWrites("BBBB.g12", 0, c.error);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, c.report);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), "");
    EXPECT_EQ(closesOf("BBBB.g12"), 1);
    EXPECT_EQ(closesOf("merlode.ins"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, OutputWriteFault,
    ::testing::Values(WriteFaultCase{"DiskFullWhileWriting", 30, FileError::DiskFull,
                                     "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n"
                                     "- no space left on the device\r\n"},
                      WriteFaultCase{"DiskFullAtClose", 2, FileError::DiskFull,
                                     "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n"
                                     "- no space left on the device\r\n"},
                      WriteFaultCase{"AccessDeniedWhileWriting", 30, FileError::AccessDenied,
                                     "\r\nrun-time error F6421: WRITE(BBBB.g12)\r\n"
                                     "- write refused: access denied\r\n"},
                      WriteFaultCase{"AccessDeniedAtClose", 2, FileError::AccessDenied,
                                     "\r\nrun-time error F6421: WRITE(BBBB.g12)\r\n"
                                     "- write refused: access denied\r\n"}),
    [](const auto& test) { return std::string(test.param.label); });

TEST_F(BatchFault, AShortWriteForAnyOtherReasonGoesOnUnreported) {
    writeCatalogue(30);
    faults.limitWrites("BBBB.g12", 1000, FileError::Other);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), outputFile(30).substr(0, 1000));
}

// --- The scratch file ----------------------------------------------------------

TEST_F(BatchFault, RefusedDeletionOfTheScratchFileIsACloseError) {
    writeCatalogue(2);
    faults.refuseDelete("gsctmp.tmp", FileError::AccessDenied, 2);  // region AAAA's two pass
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6404: CLOSE(gsctmp.tmp)\r\n"
              "- file could not be deleted: access denied\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("gsctmp.tmp"), "BBBB.raw\r\nBBBB.g12\r\n");
    EXPECT_FALSE(fileExists("BBBB.g12"));
}

struct CreateFaultCase {
    const char* label;
    FileError error;
    const char* report;
};

class ScratchCreateFault : public BatchFault,
                           public ::testing::WithParamInterface<CreateFaultCase> {};

TEST_P(ScratchCreateFault, IsAnOpenError) {
    writeCatalogue(2);
    // Region AAAA creates the scratch file at the first attempt; every
    // attempt of region BBBB is refused.
    faults.refuseCreate("gsctmp.tmp", GetParam().error, std::nullopt, 1);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, GetParam().report);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
    EXPECT_FALSE(fileExists("BBBB.g12"));
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ScratchCreateFault,
    ::testing::Values(CreateFaultCase{"AccessDenied", FileError::AccessDenied,
                                      "\r\nrun-time error F6414: OPEN(gsctmp.tmp)\r\n"
                                      "- access to the file denied\r\n"},
                      CreateFaultCase{"DiskFull", FileError::DiskFull,
                                      "\r\nrun-time error F6416: OPEN(gsctmp.tmp)\r\n"
                                      "- no space left on the device\r\n"}),
    [](const auto& test) { return std::string(test.param.label); });

// --- Reading a raw region file -------------------------------------------------

TEST_F(BatchFault, AReadFailureInTheMiddleOfARawFileLeavesTheOldOutputAlone) {
    writeCatalogue(30);
    writeFile("BBBB.g12", "from an earlier run\r\n");
    faults.failReadsAfter("BBBB.raw", 1024);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, "\r\nrun-time error F6500: READ(BBBB.raw)\r\n- read failure\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), "from an earlier run\r\n");
    EXPECT_EQ(closesOf("BBBB.raw"), 1);
}

// --- Floating-point traps that do not fire ------------------------------------
//
// This process never unmasks the traps, so an operation that would trap only
// leaves its flag: the run must still end with the report the trap gives, at
// the same point, with the same files.

struct MaskedTrapCase {
    const char* label;
    const char* entryLine;  // the second entry line of region BBBB
    const char* report;
};

void PrintTo(const MaskedTrapCase& c, std::ostream* os) { *os << c.label << ": " << c.entryLine; }

class MaskedTrap : public BatchFault, public ::testing::WithParamInterface<MaskedTrapCase> {};

TEST_P(MaskedTrap, EndsTheRunAsTheTrapWould) {
    const MaskedTrapCase& c = GetParam();
    writeCatalogue(2);
    writeFile("BBBB.raw", rawRegionFile(1) + c.entryLine + "\r\n");
    std::string raw = readFile("BBBB.raw");
    raw.replace(raw.find("   1\r\n"), 7, "   2\r\n");  // the count: two entry lines
    writeFile("BBBB.raw", raw);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, c.report);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_FALSE(fileExists("BBBB.g12"));
}

const char* const kOverflow = "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n";
const char* const kInvalid = "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n";

INSTANTIATE_TEST_SUITE_P(
    Fields, MaskedTrap,
    ::testing::Values(
        // 5D309 under F5.2 is 5e307; ten times that is beyond the doubles.
        MaskedTrapCase{"Magnitude", "    1234       2 01 02 03.45 -04 05 06.7  0.2  5D309 0.05",
                       kOverflow},
        MaskedTrapCase{"RaSeconds", "    1234       2 01 02 9E307 -04 05 06.7  0.2  12.34 0.05",
                       kOverflow},
        // Finite, but beyond the 64-bit integers: the conversion is invalid.
        MaskedTrapCase{"RaBeyond64Bits", "    1234       2 01 02 9E+20 -04 05 06.7  0.2  12.34 0.05",
                       kInvalid},
        MaskedTrapCase{"DecBeyond64Bits", "    1234       2 01 02 03.45 -04 05 9E99  0.2  12.34 0.05",
                       kInvalid},
        // The overflow comes before the sign is looked at, so it is no stop.
        MaskedTrapCase{"RaBeforeABadSign", "    1234       2 01 02 9E307 *04 05 06.7  0.2  12.34 0.05",
                       kOverflow}),
    [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace gscmerge::testing
