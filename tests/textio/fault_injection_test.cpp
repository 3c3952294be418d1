// Faults of the file system in the middle of a batch: each is reported once,
// exactly, with status 1, and the output of the regions converted before it
// stays complete and unchanged.
#include "tests/support/fault_injection.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "catalogue/batch.h"
#include "tests/support/captured_process.h"
#include "tests/support/printable.h"
#include "tests/support/temp_dir.h"
#include "textio/output.h"
#include "textio/process.h"
#include "textio/units.h"

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

// What a region costs the file system beyond reading and writing: each file
// opened once, no lookup of a name that an open or a creation answers anyway, no deletion
// of a file that is not there, no identity learnt that no open compares.
TEST_F(BatchFault, ARegionAsksTheFileSystemForNothingItCanDoWithout) {
    writeFile("merlode.ins", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n  AAAA\r\nEN\r\n");
    writeFile("AAAA.raw", rawRegionFile(3));
    faults.logIdentities();
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(faults.log(),
              (std::vector<std::string>{
                  "open merlode.ins rw", "create gsctmp.tmp rw", "close gsctmp.tmp",
                  "open gsctmp.tmp rw", "close gsctmp.tmp", "delete gsctmp.tmp", "open AAAA.raw rw",
                  "close AAAA.raw", "create AAAA.g12 rw", "close AAAA.g12", "close merlode.ins"}));
}

// --- Writing the output file -------------------------------------------------

struct WriteFaultCase {
    const char* label;
    int starsOfB;  // 30 stars fill the 1024-byte buffer while writing; 2 wait for the close
    FileError error;
    std::uint32_t systemCode;
    const char* report;
};

void PrintTo(const WriteFaultCase& c, std::ostream* os) {
    *os << c.label << ": " << printable(c.report);
}

class OutputWriteFault : public BatchFault, public ::testing::WithParamInterface<WriteFaultCase> {};

TEST_P(OutputWriteFault, IsReportedOnceAndEarlierOutputStays) {
    const WriteFaultCase& c = GetParam();
    writeCatalogue(c.starsOfB);
    faults.limitWrites("BBBB.g12", 0, c.error, c.systemCode);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, c.report);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), "");
    EXPECT_EQ(closesOf("BBBB.g12"), 1);
    EXPECT_EQ(closesOf("merlode.ins"), 1);
}

const char* const kDiskFull =
    "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n- no space left on the device\r\n";
const char* const kQuota = "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n- disk quota exceeded\r\n";
const char* const kTooLarge = "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n- file too large\r\n";
const char* const kDenied =
    "\r\nrun-time error F6421: WRITE(BBBB.g12)\r\n- write refused: access denied\r\n";
// Any other reason is told in the system's own words.
const char* const kIoError =
    "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n- write failed: Input/output error\r\n";

INSTANTIATE_TEST_SUITE_P(
    Faults, OutputWriteFault,
    ::testing::Values(
        WriteFaultCase{"DiskFullWhileWriting", 30, FileError::DiskFull, ENOSPC, kDiskFull},
        WriteFaultCase{"DiskFullAtClose", 2, FileError::DiskFull, ENOSPC, kDiskFull},
        WriteFaultCase{"QuotaWhileWriting", 30, FileError::QuotaExceeded, EDQUOT, kQuota},
        WriteFaultCase{"QuotaAtClose", 2, FileError::QuotaExceeded, EDQUOT, kQuota},
        WriteFaultCase{"TooLargeWhileWriting", 30, FileError::FileTooLarge, EFBIG, kTooLarge},
        WriteFaultCase{"AccessDeniedWhileWriting", 30, FileError::AccessDenied, EACCES, kDenied},
        WriteFaultCase{"AccessDeniedAtClose", 2, FileError::AccessDenied, EACCES, kDenied},
        WriteFaultCase{"OtherWhileWriting", 30, FileError::Other, EIO, kIoError},
        WriteFaultCase{"OtherAtClose", 2, FileError::Other, EIO, kIoError}),
    [](const auto& test) { return std::string(test.param.label); });

// A short write is never passed over: the part that was stored stays, and
// the run ends in the report.
TEST_F(BatchFault, AShortWriteForAnyOtherReasonIsReported) {
    writeCatalogue(30);
    faults.limitWrites("BBBB.g12", 1000, FileError::Other, ESTALE);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6422: WRITE(BBBB.g12)\r\n- write failed: Stale file handle\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(readFile("BBBB.g12"), outputFile(30).substr(0, 1000));
    EXPECT_EQ(closesOf("BBBB.g12"), 1);
}

// A failure told only by the close of a written file is the same report.
TEST_F(BatchFault, AFailedCloseOfAnOutputFileIsAWriteError) {
    writeCatalogue(2);
    faults.failClose("BBBB.g12", FileError::Other, EIO);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.err, kIoError);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("AAAA.g12"), kRegionA);
    EXPECT_EQ(closesOf("BBBB.g12"), 1);
    EXPECT_EQ(closesOf("merlode.ins"), 1);
}

// A file that could only be connected for reading takes no output, and says
// so the same way on every system.
TEST_F(BatchFault, OutputToAUnitConnectedForReadingIsRefused) {
    writeFile("kept.g12", "old\r\n");
    faults.refuseOpen("kept.g12", FileError::AccessDenied, Access::ReadWrite);
    const ProcessOutcome outcome = process.run([] {
        static constexpr textio::RecordLayout kLine = textio::parseLayout("(A)");
        textio::openUnit(2, "kept.g12", "OLD");
        textio::OutputStatement write(*textio::findUnit(2), kLine);
        write.putText("new", 3);
        write.endWrite();
        textio::closeUnit(2, "keep");
    });
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6421: WRITE(kept.g12)\r\n- write refused: access denied\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("kept.g12"), "old\r\n");
}

// Nothing written, nothing lost: files read, and a scratch file closed for
// deletion, may fail to close without a report.
TEST_F(BatchFault, AFailedCloseOfAFileNotWrittenIsNoError) {
    writeCatalogue(2);
    faults.failClose("BBBB.raw", FileError::Other, EIO);
    faults.failClose("merlode.ins", FileError::Other, EIO);
    const ProcessOutcome outcome = runBatch();
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(readFile("BBBB.g12"), outputFile(2));
}

// --- The scratch file ----------------------------------------------------------

TEST_F(BatchFault, RefusedDeletionOfTheScratchFileIsACloseError) {
    writeCatalogue(2);
    faults.refuseDelete("gsctmp.tmp", FileError::AccessDenied, 1);  // region AAAA's passes
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

void PrintTo(const CreateFaultCase& c, std::ostream* os) {
    *os << c.label << ": " << printable(c.report);
}

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

// --- The POSIX platform's sorting of the system's errors ---------------------

struct SystemErrorCase {
    const char* label;
    int code;
    FileError error;
};

void PrintTo(const SystemErrorCase& c, std::ostream* os) {
    *os << c.label;
}

class PosixErrorClass : public ::testing::TestWithParam<SystemErrorCase> {};

TEST_P(PosixErrorClass, IsSortedIntoItsClassAndNamedInOneLine) {
    const SystemErrorCase& c = GetParam();
    const auto code = static_cast<std::uint32_t>(c.code);
    EXPECT_EQ(platform::classifySystemError(code), c.error);
    const std::string words = platform::describeSystemError(code);
    EXPECT_FALSE(words.empty());
    EXPECT_EQ(words.find_first_of("\r\n"), std::string::npos) << words;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, PosixErrorClass,
    ::testing::Values(SystemErrorCase{"ENOENT", ENOENT, FileError::NotFound},
                      SystemErrorCase{"ENOTDIR", ENOTDIR, FileError::NotFound},
                      SystemErrorCase{"EACCES", EACCES, FileError::AccessDenied},
                      SystemErrorCase{"EPERM", EPERM, FileError::AccessDenied},
                      SystemErrorCase{"EROFS", EROFS, FileError::AccessDenied},
                      SystemErrorCase{"ETXTBSY", ETXTBSY, FileError::AccessDenied},
                      SystemErrorCase{"EISDIR", EISDIR, FileError::AccessDenied},
                      SystemErrorCase{"EEXIST", EEXIST, FileError::Exists},
                      SystemErrorCase{"EINVAL", EINVAL, FileError::InvalidName},
                      SystemErrorCase{"ENAMETOOLONG", ENAMETOOLONG, FileError::InvalidName},
                      SystemErrorCase{"EMFILE", EMFILE, FileError::TooManyOpen},
                      SystemErrorCase{"ENFILE", ENFILE, FileError::TooManyOpen},
                      SystemErrorCase{"ENOSPC", ENOSPC, FileError::DiskFull},
                      SystemErrorCase{"EDQUOT", EDQUOT, FileError::QuotaExceeded},
                      SystemErrorCase{"EFBIG", EFBIG, FileError::FileTooLarge},
                      SystemErrorCase{"EIO", EIO, FileError::Other},
                      SystemErrorCase{"ESTALE", ESTALE, FileError::Other},
                      SystemErrorCase{"EPIPE", EPIPE, FileError::Other},
                      SystemErrorCase{"ENXIO", ENXIO, FileError::Other}),
    [](const auto& test) { return std::string(test.param.label); });

// The native calls meeting real faults: a full device, a pipe without a
// reader, a file-size limit, a close that fails.
class PosixWriteFault : public ::testing::Test {
protected:
    PosixWriteFault() { platform::nativeSystemCalls().prepareProcess(); }
    const platform::SystemCalls& native = platform::nativeSystemCalls();
};

TEST_F(PosixWriteFault, AFullDeviceIsDiskFull) {
    const platform::OpenResult full = native.openExisting("/dev/full", Access::WriteOnly);
    ASSERT_EQ(full.error, FileError::None);
    const platform::WriteResult result = native.writeFile(full.handle, "abc", 3);
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(result.error, FileError::DiskFull);
    EXPECT_EQ(result.systemCode, static_cast<std::uint32_t>(ENOSPC));
    EXPECT_EQ(native.closeFile(full.handle).error, FileError::None);
}

TEST_F(PosixWriteFault, APipeWithoutReaderIsAFailedWriteNotASignal) {
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const platform::WriteResult result = native.writeFile(ends[1], "abc", 3);
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(result.error, FileError::Other);
    EXPECT_EQ(result.systemCode, static_cast<std::uint32_t>(EPIPE));
    ::close(ends[1]);
}

TEST_F(PosixWriteFault, AFileSizeLimitIsFileTooLargeNotASignal) {
    TempDir dir;
    const platform::OpenResult file = native.createNew("limited", Access::WriteOnly);
    ASSERT_EQ(file.error, FileError::None);
    struct rlimit previous {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    struct rlimit limited = previous;
    limited.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    const platform::WriteResult result = native.writeFile(file.handle, "0123456789abcdef", 16);
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(result.written, 10u);
    EXPECT_EQ(result.error, FileError::FileTooLarge);
    EXPECT_EQ(result.systemCode, static_cast<std::uint32_t>(EFBIG));
    (void)native.closeFile(file.handle);
    EXPECT_EQ(readFile("limited"), "0123456789");
}

TEST_F(PosixWriteFault, AFailedCloseIsTold) {
    const platform::CloseResult closed = native.closeFile(-1);
    EXPECT_EQ(closed.error, FileError::Other);
    EXPECT_EQ(closed.systemCode, static_cast<std::uint32_t>(EBADF));
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

void PrintTo(const MaskedTrapCase& c, std::ostream* os) {
    *os << c.label << ": " << c.entryLine;
}

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

const char* const kOverflow =
    "\r\nrun-time error M6104: MATH\r\n- floating-point error: overflow\r\n";
const char* const kInvalid =
    "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n";

INSTANTIATE_TEST_SUITE_P(
    Fields, MaskedTrap,
    ::testing::Values(
        // 5D309 under F5.2 is 5e307; ten times that is beyond the doubles.
        MaskedTrapCase{"Magnitude", "    1234       2 01 02 03.45 -04 05 06.7  0.2  5D309 0.05",
                       kOverflow},
        MaskedTrapCase{"RaSeconds", "    1234       2 01 02 9E307 -04 05 06.7  0.2  12.34 0.05",
                       kOverflow},
        // Finite, but beyond the 64-bit integers: the conversion is invalid.
        MaskedTrapCase{"RaBeyond64Bits",
                       "    1234       2 01 02 9E+20 -04 05 06.7  0.2  12.34 0.05", kInvalid},
        MaskedTrapCase{"DecBeyond64Bits",
                       "    1234       2 01 02 03.45 -04 05 9E99  0.2  12.34 0.05", kInvalid},
        // The overflow comes before the sign is looked at, so it is no stop.
        MaskedTrapCase{"RaBeforeABadSign",
                       "    1234       2 01 02 9E307 *04 05 06.7  0.2  12.34 0.05", kOverflow}),
    [](const auto& test) { return std::string(test.param.label); });

}  // namespace
}  // namespace gscmerge::testing
