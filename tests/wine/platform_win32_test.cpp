// The Win32 platform layer against the real system: how refused opens and
// deletions are classified, file identity across spellings of a name,
// standard handles that are never closed, and the floating-point traps with
// their numbers. Runs under Wine on a Linux host.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <gtest/gtest.h>
#include <windows.h>
#include <xmmintrin.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "textio/platform.h"

#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif

namespace gscmerge::platform {
namespace {

const SystemCalls& calls() {
    return nativeSystemCalls();
}

// A fresh directory under the system's temporary directory, current for the
// duration of a test.
class ScratchDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(::GetTempPathA(MAX_PATH, temp), 0u);
        static int serial = 0;
        path_ = std::string(temp) + "gscmerge-platform-" + std::to_string(::GetCurrentProcessId()) +
                "-" + std::to_string(++serial);
        ASSERT_TRUE(::CreateDirectoryA(path_.c_str(), nullptr));
        ASSERT_TRUE(::SetCurrentDirectoryA(path_.c_str()));
    }

    void TearDown() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        ::SetCurrentDirectoryA(temp);
        removeTree(path_);
    }

    static void writeFile(const char* name, const std::string& bytes) {
        HANDLE file = ::CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD put = 0;
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
        ::CloseHandle(file);
    }

private:
    static void removeTree(const std::string& directory) {
        WIN32_FIND_DATAA found;
        HANDLE search = ::FindFirstFileA((directory + "\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::string name = found.cFileName;
                if (name == "." || name == "..") continue;
                const std::string full = directory + "\\" + name;
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                    removeTree(full);
                } else {
                    ::SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileA(full.c_str());
                }
            } while (::FindNextFileA(search, &found));
            ::FindClose(search);
        }
        ::RemoveDirectoryA(directory.c_str());
    }

    std::string path_;
};

using Files = ScratchDirectory;

TEST_F(Files, BytesWrittenAreReadBackUntranslated) {
    const OpenResult created = calls().createNew("data.g12", Access::ReadWrite);
    ASSERT_EQ(created.error, FileError::None);
    const std::string bytes = "one\ntwo\r\n\x1a three\r";
    const WriteResult written = calls().writeFile(created.handle, bytes.data(), bytes.size());
    EXPECT_EQ(written.written, bytes.size());
    EXPECT_EQ(written.error, FileError::None);
    calls().closeFile(created.handle);

    const OpenResult opened = calls().openExisting("data.g12", Access::ReadOnly);
    ASSERT_EQ(opened.error, FileError::None);
    char block[64];
    EXPECT_EQ(calls().readFile(opened.handle, block, sizeof block),
              static_cast<std::ptrdiff_t>(bytes.size()));
    EXPECT_EQ(std::string(block, bytes.size()), bytes);
    EXPECT_EQ(calls().readFile(opened.handle, block, sizeof block), 0);
    calls().closeFile(opened.handle);
}

TEST_F(Files, CreatingANameThatExistsFailsWithExists) {
    writeFile("old.g12", "kept");
    const OpenResult created = calls().createNew("old.g12", Access::ReadWrite);
    EXPECT_EQ(created.error, FileError::Exists);
    EXPECT_EQ(calls().deleteFile("old.g12"), FileError::None);
    const OpenResult again = calls().createNew("old.g12", Access::ReadWrite);
    EXPECT_EQ(again.error, FileError::None);
    calls().closeFile(again.handle);
}

struct RefusedOpen {
    const char* name;
    FileError expected;
};

void PrintTo(const RefusedOpen& c, std::ostream* os) {
    *os << '"' << c.name << "\" -> error " << static_cast<int>(c.expected);
}

class RefusedOpens : public ScratchDirectory, public ::testing::WithParamInterface<RefusedOpen> {};

TEST_P(RefusedOpens, AreSortedIntoTheProgramsClasses) {
    ASSERT_TRUE(::CreateDirectoryA("subdir", nullptr));
    const OpenResult opened = calls().openExisting(GetParam().name, Access::ReadWrite);
    EXPECT_EQ(opened.error, GetParam().expected);
    if (opened.error == FileError::None) calls().closeFile(opened.handle);
}

INSTANTIATE_TEST_SUITE_P(Win32, RefusedOpens,
                         ::testing::Values(RefusedOpen{"missing.raw", FileError::NotFound},
                                           RefusedOpen{"nodir\\N0001.raw", FileError::NotFound},
                                           RefusedOpen{"subdir", FileError::AccessDenied},
                                           RefusedOpen{"N0*.raw", FileError::InvalidName},
                                           RefusedOpen{"", FileError::InvalidName}));

TEST_F(Files, FileLockedByAnotherOpenerIsAccessDenied) {
    writeFile("locked.raw", "x");
    HANDLE exclusive = ::CreateFileA("locked.raw", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(calls().openExisting("locked.raw", Access::ReadOnly).error, FileError::AccessDenied);
    ::CloseHandle(exclusive);
}

TEST_F(Files, ConnectedFilesShareReadingAndWriting) {
    writeFile("shared.raw", "x");
    const OpenResult first = calls().openExisting("shared.raw", Access::ReadWrite);
    const OpenResult second = calls().openExisting("shared.raw", Access::ReadWrite);
    EXPECT_EQ(first.error, FileError::None);
    EXPECT_EQ(second.error, FileError::None);
    calls().closeFile(first.handle);
    calls().closeFile(second.handle);
}

TEST_F(Files, DeletingAMissingFileIsNotFound) {
    EXPECT_EQ(calls().deleteFile("gone.tmp"), FileError::NotFound);
}

TEST_F(Files, EverySpellingOfANameHasTheSameIdentity) {
    writeFile("N0001.raw", "a");
    writeFile("N0002.raw", "b");
    ASSERT_TRUE(::CreateDirectoryA("subdir", nullptr));
    FileIdentity plain{};
    FileIdentity upper{};
    FileIdentity dotted{};
    FileIdentity other{};
    ASSERT_TRUE(calls().identifyName("N0001.raw", &plain));
    ASSERT_TRUE(calls().identifyName("n0001.RAW", &upper));
    ASSERT_TRUE(calls().identifyName(".\\subdir\\..\\N0001.raw", &dotted));
    ASSERT_TRUE(calls().identifyName("N0002.raw", &other));
    EXPECT_EQ(upper, plain);
    EXPECT_EQ(dotted, plain);
    EXPECT_NE(other, plain);
    EXPECT_FALSE(calls().identifyName("N0003.raw", &other));

    const OpenResult opened = calls().openExisting("N0001.raw", Access::ReadWrite);
    ASSERT_EQ(opened.error, FileError::None);
    FileIdentity ofHandle{};
    ASSERT_TRUE(calls().identifyHandle(opened.handle, &ofHandle));
    EXPECT_EQ(ofHandle, plain);
    calls().closeFile(opened.handle);
}

TEST(StandardHandles, AreNeverClosed) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    ASSERT_NE(error, INVALID_HANDLE_VALUE);
    calls().closeFile(reinterpret_cast<FileHandle>(error));
    DWORD flags = 0;
    EXPECT_TRUE(::GetHandleInformation(error, &flags));
    EXPECT_EQ(calls().writeStandard(StandardStream::Error, "", 0).error, FileError::None);
}

// --- Sorting the system's errors ------------------------------------------

struct SystemErrorCase {
    const char* label;
    DWORD code;
    FileError error;
};

void PrintTo(const SystemErrorCase& c, std::ostream* os) {
    *os << c.label;
}

class Win32ErrorClass : public ::testing::TestWithParam<SystemErrorCase> {};

TEST_P(Win32ErrorClass, IsSortedIntoItsClassAndNamedInOneLine) {
    const SystemErrorCase& c = GetParam();
    EXPECT_EQ(classifySystemError(c.code), c.error);
    const std::string words = describeSystemError(c.code);
    EXPECT_FALSE(words.empty());
    EXPECT_EQ(words.find_first_of("\r\n"), std::string::npos) << words;
}

INSTANTIATE_TEST_SUITE_P(
    Codes, Win32ErrorClass,
    ::testing::Values(
        SystemErrorCase{"FileNotFound", ERROR_FILE_NOT_FOUND, FileError::NotFound},
        SystemErrorCase{"PathNotFound", ERROR_PATH_NOT_FOUND, FileError::NotFound},
        SystemErrorCase{"AccessDenied", ERROR_ACCESS_DENIED, FileError::AccessDenied},
        SystemErrorCase{"SharingViolation", ERROR_SHARING_VIOLATION, FileError::AccessDenied},
        SystemErrorCase{"LockViolation", ERROR_LOCK_VIOLATION, FileError::AccessDenied},
        SystemErrorCase{"WriteProtect", ERROR_WRITE_PROTECT, FileError::AccessDenied},
        SystemErrorCase{"FileExists", ERROR_FILE_EXISTS, FileError::Exists},
        SystemErrorCase{"InvalidName", ERROR_INVALID_NAME, FileError::InvalidName},
        SystemErrorCase{"TooManyOpenFiles", ERROR_TOO_MANY_OPEN_FILES, FileError::TooManyOpen},
        SystemErrorCase{"DiskFull", ERROR_DISK_FULL, FileError::DiskFull},
        SystemErrorCase{"HandleDiskFull", ERROR_HANDLE_DISK_FULL, FileError::DiskFull},
        SystemErrorCase{"DiskQuotaExceeded", ERROR_DISK_QUOTA_EXCEEDED, FileError::QuotaExceeded},
        SystemErrorCase{"NotEnoughQuota", ERROR_NOT_ENOUGH_QUOTA, FileError::QuotaExceeded},
        SystemErrorCase{"FileTooLarge", ERROR_FILE_TOO_LARGE, FileError::FileTooLarge},
        SystemErrorCase{"NetnameDeleted", ERROR_NETNAME_DELETED, FileError::Other},
        SystemErrorCase{"UnexpectedNetError", ERROR_UNEXP_NET_ERR, FileError::Other},
        SystemErrorCase{"NoData", ERROR_NO_DATA, FileError::Other},
        SystemErrorCase{"Crc", ERROR_CRC, FileError::Other}),
    [](const ::testing::TestParamInfo<SystemErrorCase>& param) {
        return std::string(param.param.label);
    });

// The native calls meeting real faults. (A range locked by another handle
// is left to the table above: Wine lets a process write through its own
// locks.)
TEST(WriteFaults, APipeWithoutReaderIsAFailedWrite) {
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(::CreatePipe(&reader, &writer, nullptr, 0));
    ::CloseHandle(reader);
    const WriteResult result = calls().writeFile(reinterpret_cast<FileHandle>(writer), "abc", 3);
    EXPECT_EQ(result.written, 0u);
    EXPECT_EQ(result.error, FileError::Other);
    EXPECT_NE(result.systemCode, 0u);
    ::CloseHandle(writer);
}

TEST_F(Files, AWriteThroughAReadOnlyHandleIsAccessDenied) {
    writeFile("N0001.raw", "abc");
    const OpenResult opened = calls().openExisting("N0001.raw", Access::ReadOnly);
    ASSERT_EQ(opened.error, FileError::None);
    EXPECT_EQ(calls().writeFile(opened.handle, "abc", 3).error, FileError::AccessDenied);
    EXPECT_EQ(calls().closeFile(opened.handle).error, FileError::None);
}

TEST(WriteFaults, AFailedCloseIsTold) {
    HANDLE reader = nullptr;
    HANDLE writer = nullptr;
    ASSERT_TRUE(::CreatePipe(&reader, &writer, nullptr, 0));
    ::CloseHandle(reader);
    ::CloseHandle(writer);
    // The same handle value again: no longer open.
    const CloseResult closed = calls().closeFile(reinterpret_cast<FileHandle>(writer));
    EXPECT_EQ(closed.error, FileError::Other);
    EXPECT_EQ(closed.systemCode, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
}

// --- Floating point -----------------------------------------------------
// Each trap ends the process, so each one runs in a child process whose
// handler exits with the trap number as its status.

void exitWithTrapNumber(int number) {
    ::ExitProcess(static_cast<UINT>(number));
}

volatile double zero = 0.0;
volatile double one = 1.0;
volatile double largest = 1.7976931348623157e308;
volatile double tiny = 1e-300;

double divideOneByZero() {
    return one / zero;
}
double divideZeroByZero() {
    return zero / zero;
}
double doubleTheLargest() {
    return largest * 2.0;
}

struct Trap {
    const char* name;
    double (*operation)();
    int number;
};

void PrintTo(const Trap& c, std::ostream* os) {
    *os << c.name << " -> " << c.number;
}

class Traps : public ::testing::TestWithParam<Trap> {};

TEST_P(Traps, EndTheProcessThroughTheHandlerWithTheirNumber) {
    EXPECT_EXIT(
        {
            calls().enableFloatingPointTraps(exitWithTrapNumber);
            volatile double result = GetParam().operation();
            (void)result;
            ::ExitProcess(0);
        },
        ::testing::ExitedWithCode(GetParam().number), "");
}

INSTANTIATE_TEST_SUITE_P(Win32, Traps,
                         ::testing::Values(Trap{"Invalid", divideZeroByZero, 6101},
                                           Trap{"DivideByZero", divideOneByZero, 6103},
                                           Trap{"Overflow", doubleTheLargest, 6104}),
                         [](const ::testing::TestParamInfo<Trap>& param) {
                             return std::string(param.param.name);
                         });

TEST(FloatingPoint, UnderflowAndInexactResultsDoNotTrap) {
    EXPECT_EXIT(
        {
            calls().enableFloatingPointTraps(exitWithTrapNumber);
            volatile double denormal = tiny * 1e-10;
            volatile double inexact = one / 3.0;
            ::ExitProcess(denormal > 0.0 && inexact < 0.34 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

// Whatever the environment was, enabling the traps restores rounding to
// nearest and gradual underflow.
TEST(FloatingPoint, EnablingRoundsToNearestWithoutFlushingDenormals) {
    constexpr unsigned kRoundUp = 0x4000;
    constexpr unsigned kFlushToZero = 0x8000;
    constexpr unsigned kDenormalsAreZero = 0x0040;
    _mm_setcsr(_mm_getcsr() | kRoundUp | kFlushToZero | kDenormalsAreZero);
    calls().enableFloatingPointTraps(exitWithTrapNumber);
    volatile double sum = one + 0x1p-60;
    volatile double denormal = tiny * 1e-10;
    calls().disableFloatingPointTraps();
    EXPECT_EQ(sum, 1.0);
    EXPECT_GT(denormal, 0.0);
}

// The test-only switch: the environment is set, the traps stay masked, and
// the operations leave their flags for the program to find.
TEST(FloatingPoint, TheTestSwitchLeavesTheTrapsMasked) {
    EXPECT_EXIT(
        {
            ::SetEnvironmentVariableA("GSCMERGE_TEST_TRAPS", "masked");
            calls().enableFloatingPointTraps(exitWithTrapNumber);
            volatile double infinite = divideOneByZero();
            const unsigned flags = _mm_getcsr() & 0x3F;
            ::ExitProcess(infinite > largest && (flags & 0x04) != 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(FloatingPoint, DisablingMasksEveryTrap) {
    EXPECT_EXIT(
        {
            calls().enableFloatingPointTraps(exitWithTrapNumber);
            calls().disableFloatingPointTraps();
            volatile double infinite = divideOneByZero();
            volatile double notANumber = divideZeroByZero();
            ::ExitProcess(infinite > largest && notANumber != notANumber ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace gscmerge::platform
