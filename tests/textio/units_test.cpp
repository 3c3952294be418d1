// Connecting numbered units to files and disconnecting them: status keywords,
// names, the same-file rules, the access fallback, the slot limit, and every
// way an open or a close can fail.
#include "textio/units.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"
#include "tests/support/fault_injection.h"
#include "tests/support/printable.h"
#include "tests/support/temp_dir.h"
#include "textio/process.h"

namespace gscmerge::testing {
namespace {

using platform::Access;
using platform::FileError;
using textio::closeUnit;
using textio::findUnit;
using textio::openUnit;
using textio::UnitAction;
using textio::UnitConnection;

// What a write statement leaves behind: bytes in the unit's buffer that reach
// the file only when the buffer fills or the unit is closed.
void putWaiting(std::int32_t unit, const std::string& bytes) {
    UnitConnection* connection = findUnit(unit);
    ASSERT_NE(connection, nullptr);
    connection->output.putChars(bytes.data(), bytes.size());
    connection->outputWaiting = true;
}

std::string readAll(std::int32_t unit) {
    std::string bytes;
    char block[64];
    for (;;) {
        const std::ptrdiff_t got = textio::readBytes(*findUnit(unit), block, sizeof block);
        if (got <= 0) return bytes;
        bytes.append(block, static_cast<std::size_t>(got));
    }
}

std::string openReport(const std::string& number, const std::string& name,
                       const std::string& message) {
    return "\r\nrun-time error F" + number + ": OPEN(" + name + ")\r\n- " + message + "\r\n";
}

// --- Status keywords and names ---------------------------------------------

struct KeywordCase {
    const char* name;
    const char* value;
    const char* keyword;
    bool matches;
};

void PrintTo(const KeywordCase& c, std::ostream* os) {
    *os << printable(c.value) << (c.matches ? " matches " : " does not match ") << c.keyword;
}

class KeywordMatching : public ::testing::TestWithParam<KeywordCase> {};

TEST_P(KeywordMatching, ComparesCaseBlindFollowedOnlyByBlanks) {
    const KeywordCase& c = GetParam();
    EXPECT_EQ(textio::matchesKeyword(c.value, c.keyword), c.matches)
        << '"' << c.value << "\" against " << c.keyword;
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, KeywordMatching,
    ::testing::Values(KeywordCase{"Exact", "KEEP", "KEEP", true},
                      KeywordCase{"LowerCase", "keep", "KEEP", true},
                      KeywordCase{"MixedCaseTrailingBlanks", "kEeP    ", "KEEP", true},
                      KeywordCase{"Delete", "delete", "DELETE", true},
                      KeywordCase{"ReplaceTrailingBlank", "Replace ", "REPLACE", true},
                      KeywordCase{"Old", "old", "OLD", true},
                      // Leading blanks are not skipped.
                      KeywordCase{"LeadingBlank", " keep", "KEEP", false},
                      KeywordCase{"Shorter", "kee", "KEEP", false},
                      KeywordCase{"Empty", "", "OLD", false},
                      KeywordCase{"MoreThanBlanksFollow", "keeps", "KEEP", false},
                      // Only the blank pads.
                      KeywordCase{"TabFollows", "keep\t", "KEEP", false},
                      KeywordCase{"InnerBlank", "ke ep", "KEEP", false},
                      KeywordCase{"OtherKeyword", "KEEP", "DELETE", false},
                      // Only letters change case: '{' is not a lower-case '['.
                      KeywordCase{"BraceIsNoLetter", "{EEP", "KEEP", false}),
    caseName<KeywordCase>);

struct NameCase {
    const char* name;
    std::string value;
    std::string normalized;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << printable(c.value) << " -> " << printable(c.normalized);
}

class FileNameNormalization : public ::testing::TestWithParam<NameCase> {};

TEST_P(FileNameNormalization, TakesAtMost259CharactersWithoutOuterBlanks) {
    EXPECT_EQ(textio::normalizeFileName(GetParam().value), GetParam().normalized);
}

INSTANTIATE_TEST_SUITE_P(
    Names, FileNameNormalization,
    ::testing::Values(
        NameCase{"TrailingBlanks", "N0000.raw   ", "N0000.raw"},
        NameCase{"TwelveCharacters", "ABCDEFGH.raw", "ABCDEFGH.raw"},
        NameCase{"LeadingBlanks", "  lead.raw", "lead.raw"},
        NameCase{"InnerBlankStays", " a b.g12  ", "a b.g12"},
        NameCase{"TabsStay", "\tTab.raw\t", "\tTab.raw\t"},
        NameCase{"PathAndCaseStay", "Dir/Sub/X.G12", "Dir/Sub/X.G12"},
        NameCase{"OnlyBlanks", "            ", ""},
        // The cut comes first, then the blanks go.
        NameCase{"CutAt259", std::string(259, 'a') + "bcd", std::string(259, 'a')},
        NameCase{"BlankAtTheCut", std::string(258, 'a') + " bcd", std::string(258, 'a')},
        NameCase{"LeadingBlanksInsideTheCut", "  " + std::string(300, 'a'), std::string(257, 'a')}),
    caseName<NameCase>);

// --- Opening and closing ---------------------------------------------------

class UnitsTest : public ::testing::Test {
protected:
    TempDir dir;
    CapturedProcess process;
    FaultInjection faults{process.calls()};
};

TEST_F(UnitsTest, OldOpensTheNormalizedNameAtItsStartForReadAndWrite) {
    writeFile("N0000.raw", "first\r\nsecond\r\n");
    const ProcessOutcome outcome = process.run([] {
        openUnit(3, "  N0000.raw    ", "old");
        UnitConnection* connection = findUnit(3);
        ASSERT_NE(connection, nullptr);
        EXPECT_STREQ(connection->fileName, "N0000.raw");
        EXPECT_EQ(connection->action, UnitAction::ReadWrite);
        EXPECT_EQ(readAll(3), "first\r\nsecond\r\n");
        closeUnit(3, "KEEP    ");
        EXPECT_EQ(findUnit(3), nullptr);
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(readFile("N0000.raw"), "first\r\nsecond\r\n");
}

TEST_F(UnitsTest, ReplaceEmptiesALeftoverFileAndOldReadsWhatWasWrittenSince) {
    writeFile("gsctmp.tmp", "left over by an interrupted run\r\n");
    process.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        EXPECT_EQ(std::filesystem::file_size("gsctmp.tmp"), 0U);
        putWaiting(2, "N0000.raw\r\nN0000.g12\r\n");
        closeUnit(2, "keep");
        EXPECT_EQ(readFile("gsctmp.tmp"), "N0000.raw\r\nN0000.g12\r\n");

        openUnit(2, "gsctmp.tmp", "OLD");
        EXPECT_EQ(readAll(2), "N0000.raw\r\nN0000.g12\r\n");
        closeUnit(2, "delete");
    });
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
}

TEST_F(UnitsTest, KeepWritesEveryWaitingByteThroughAFullBufferAndTheRest) {
    std::string bytes;
    for (int i = 0; bytes.size() < 3000; ++i) bytes += "line " + std::to_string(i) + "\r\n";
    const ProcessOutcome outcome = process.run([&] {
        openUnit(2, "N0000.g12", "replace");
        putWaiting(2, bytes);
        closeUnit(2);  // the default status keeps the file
    });
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(readFile("N0000.g12"), bytes);
}

TEST_F(UnitsTest, DeleteDiscardsWaitingOutputAndRemovesTheFile) {
    // Any write attempt would meet a full disk and be reported.
    faults.limitWrites("gsctmp.tmp", 0, FileError::DiskFull);
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        putWaiting(2, "never written\r\n");
        closeUnit(2, "DELETE  ");
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.err, "");
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
}

TEST_F(UnitsTest, ClosingAUnitThatIsNotConnectedDoesNothing) {
    const ProcessOutcome outcome = process.run([] { closeUnit(9, "delete"); });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_TRUE(faults.log().empty());
}

TEST_F(UnitsTest, ADisconnectedUnitCanBeConnectedAgainAtOnce) {
    writeFile("a.txt", "A");
    writeFile("b.txt", "B");
    process.run([] {
        openUnit(3, "a.txt", "OLD");
        closeUnit(3, "keep");
        openUnit(3, "a.txt", "OLD");
        EXPECT_EQ(readAll(3), "A");
        closeUnit(3, "keep");
        openUnit(3, "b.txt", "OLD");
        EXPECT_EQ(readAll(3), "B");
    });
}

// --- The access fallback ---------------------------------------------------

TEST_F(UnitsTest, OldOfAReadOnlyFileConnectsForReadingWithoutAMessage) {
    // Run as root, permission bits refuse nothing: the system's refusal of
    // read-write access is injected instead.
    writeFile("N0000.raw", "catalogue\r\n");
    faults.refuseOpen("N0000.raw", FileError::AccessDenied, Access::ReadWrite);
    const ProcessOutcome outcome = process.run([] {
        openUnit(3, "N0000.raw", "OLD");
        EXPECT_EQ(findUnit(3)->action, UnitAction::ReadOnly);
        EXPECT_EQ(readAll(3), "catalogue\r\n");
        closeUnit(3, "keep");
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(readFile("N0000.raw"), "catalogue\r\n");
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"open N0000.raw rw", "open N0000.raw r",
                                                      "close N0000.raw"}));
}

TEST_F(UnitsTest, WriteOnlyIsTheLastResort) {
    faults.refuseCreate("out.g12", FileError::AccessDenied, Access::ReadWrite);
    faults.refuseCreate("out.g12", FileError::AccessDenied, Access::ReadOnly);
    process.run([] {
        openUnit(2, "out.g12", "REPLACE");
        EXPECT_EQ(findUnit(2)->action, UnitAction::WriteOnly);
    });
}

TEST_F(UnitsTest, WhenEveryAttemptFailsTheLastReasonIsReported) {
    faults.refuseOpen("N0000.raw", FileError::AccessDenied, Access::ReadWrite);
    faults.refuseOpen("N0000.raw", FileError::AccessDenied, Access::ReadOnly);
    faults.refuseOpen("N0000.raw", FileError::TooManyOpen, Access::WriteOnly);
    const ProcessOutcome outcome = process.run([] { openUnit(3, "N0000.raw", "OLD"); });
    EXPECT_EQ(outcome.err, openReport("6417", "N0000.raw", "too many files open"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"open N0000.raw rw", "open N0000.raw r",
                                                      "open N0000.raw w"}));
}

// --- Open failures -----------------------------------------------------------

struct OpenFailureCase {
    const char* name;
    FileError reason;
    std::string report;
};

void PrintTo(const OpenFailureCase& c, std::ostream* os) {
    *os << "refused as " << c.name << " -> " << printable(c.report);
}

class OpenFailure : public ::testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailure, IsReportedByItsReasonAndEarlierOutputIsKept) {
    TempDir dir;
    CapturedProcess process;
    FaultInjection faults(process.calls());
    faults.refuseOpen("N0000.raw", GetParam().reason);
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "N0001.g12", "REPLACE");
        putWaiting(2, "GSC    1:   1\r\n");
        openUnit(3, "N0000.raw   ", "OLD");
    });
    EXPECT_EQ(outcome.err, GetParam().report);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.status, 1);
    // The unit connected before the failure is closed by the end, its output whole.
    EXPECT_EQ(readFile("N0001.g12"), "GSC    1:   1\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, OpenFailure,
    ::testing::Values(
        OpenFailureCase{"NotFound", FileError::NotFound,
                        openReport("6416", "N0000.raw", "file not found")},
        OpenFailureCase{"AccessDenied", FileError::AccessDenied,
                        openReport("6414", "N0000.raw", "access to the file denied")},
        OpenFailureCase{"Exists", FileError::Exists,
                        openReport("6415", "N0000.raw", "file already exists")},
        OpenFailureCase{"InvalidName", FileError::InvalidName,
                        openReport("6412", "N0000.raw", "file name or parameter not valid")},
        OpenFailureCase{"TooManyOpen", FileError::TooManyOpen,
                        openReport("6417", "N0000.raw", "too many files open")},
        OpenFailureCase{"DiskFull", FileError::DiskFull,
                        openReport("6416", "N0000.raw", "no space left on the device")},
        OpenFailureCase{"Other", FileError::Other,
                        openReport("6416", "N0000.raw", "file could not be opened")}),
    caseName<OpenFailureCase>);

// The same reasons as the real file system gives them.
struct RealFailureCase {
    const char* name;
    std::string fileName;
    const char* status;
    const char* number;
    const char* message;
};

void PrintTo(const RealFailureCase& c, std::ostream* os) {
    *os << printable(c.fileName.size() > 40 ? c.fileName.substr(0, 20) + "..." : c.fileName) << " "
        << c.status << " -> " << c.number << " " << c.message;
}

class RealOpenFailure : public ::testing::TestWithParam<RealFailureCase> {};

TEST_P(RealOpenFailure, IsReportedByItsReason) {
    TempDir dir;
    writeFile("plain.txt", "x");
    std::filesystem::create_directory("folder");
    CapturedProcess process;
    const RealFailureCase& c = GetParam();
    const ProcessOutcome outcome = process.run([&] { openUnit(3, c.fileName, c.status); });
    EXPECT_EQ(outcome.err, openReport(c.number, c.fileName, c.message));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(fileExists("folder"));
}

INSTANTIATE_TEST_SUITE_P(
    FileSystem, RealOpenFailure,
    ::testing::Values(
        RealFailureCase{"Missing", "N0000.raw", "OLD", "6416", "file not found"},
        RealFailureCase{"MissingDirectory", "nowhere/N0000.raw", "OLD", "6416", "file not found"},
        RealFailureCase{"FileAsDirectory", "plain.txt/N0000.raw", "OLD", "6416", "file not found"},
        RealFailureCase{"NameTooLong", std::string(259, 'n'), "REPLACE", "6412",
                        "file name or parameter not valid"},
        // A directory is no file: not to be read as records, not to be replaced.
        RealFailureCase{"DirectoryOld", "folder", "OLD", "6414", "access to the file denied"},
        RealFailureCase{"DirectoryReplace", "folder", "REPLACE", "6415", "file already exists"}),
    caseName<RealFailureCase>);

TEST_F(UnitsTest, ABlankNameIsRejectedBeforeTheFileSystemIsAsked) {
    const ProcessOutcome outcome = process.run([] { openUnit(1, "            ", "OLD"); });
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6412: OPEN()\r\n- file name or parameter not valid\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(faults.log().empty());
}

// A region name with a NUL byte would otherwise open, and for REPLACE
// destroy, the file named by the bytes before it.
TEST_F(UnitsTest, ANameWithANulByteIsRejectedAndNoOtherFileIsTouched) {
    writeFile("AB", "keep me\r\n");
    const ProcessOutcome outcome =
        process.run([] { openUnit(2, std::string_view("AB\0CD.g12  ", 12), "REPLACE"); });
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6412: OPEN(AB)\r\n- file name or parameter not valid\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(faults.log().empty());
    EXPECT_EQ(readFile("AB"), "keep me\r\n");
}

TEST_F(UnitsTest, ReplaceWhoseOldFileCannotBeDeletedFindsItStillThere) {
    writeFile("N0000.g12", "previous\r\n");
    faults.refuseDelete("N0000.g12", FileError::AccessDenied);
    const ProcessOutcome outcome = process.run([] { openUnit(2, "N0000.g12", "REPLACE"); });
    EXPECT_EQ(outcome.err, openReport("6415", "N0000.g12", "file already exists"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("N0000.g12"), "previous\r\n");
}

// A symbolic link that leads nowhere names no file, yet its entry is in the
// way of the creation: REPLACE deletes it like any old file.
struct LinkCase {
    const char* name;
    const char* target;
};

void PrintTo(const LinkCase& c, std::ostream* os) {
    *os << "N0000.g12 -> " << c.target;
}

class ReplaceOfALink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(ReplaceOfALink, ThatLeadsNowhereCreatesAnEmptyFileInItsPlace) {
    TempDir dir;
    std::filesystem::create_symlink(GetParam().target, "N0000.g12");
    CapturedProcess process;
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "N0000.g12", "REPLACE");
        putWaiting(2, "GSC    1:   1\r\n");
        closeUnit(2, "keep");
    });
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_FALSE(std::filesystem::is_symlink("N0000.g12"));
    EXPECT_EQ(readFile("N0000.g12"), "GSC    1:   1\r\n");
    EXPECT_FALSE(fileExists("nowhere.g12"));
}

INSTANTIATE_TEST_SUITE_P(Targets, ReplaceOfALink,
                         ::testing::Values(LinkCase{"Dangling", "nowhere.g12"},
                                           LinkCase{"ItsOwnTarget", "N0000.g12"}),
                         caseName<LinkCase>);

// --- The same file under two units, and the same unit twice -----------------

struct SecondNameCase {
    const char* name;
    const char* secondName;
    void (*makeSecondName)();
};

void PrintTo(const SecondNameCase& c, std::ostream* os) {
    *os << c.name << " " << printable(c.secondName);
}

class SecondName : public ::testing::TestWithParam<SecondNameCase> {};

TEST_P(SecondName, OfAFileConnectedToAnotherUnitIsRefused) {
    TempDir dir;
    writeFile("N0000.raw", "entries\r\n");
    GetParam().makeSecondName();
    CapturedProcess process;
    const char* secondName = GetParam().secondName;
    const ProcessOutcome outcome = process.run([&] {
        openUnit(3, "N0000.raw", "OLD");
        openUnit(2, secondName, "REPLACE");
    });
    EXPECT_EQ(outcome.err,
              openReport("6413", secondName, "file is already connected to another unit"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("N0000.raw"), "entries\r\n");  // REPLACE touched nothing
}

INSTANTIATE_TEST_SUITE_P(
    Names, SecondName,
    ::testing::Values(
        SecondNameCase{"HardLink", "second.raw",
                       [] { std::filesystem::create_hard_link("N0000.raw", "second.raw"); }},
        SecondNameCase{"SymbolicLink", "second.raw",
                       [] { std::filesystem::create_symlink("N0000.raw", "second.raw"); }},
        SecondNameCase{"OtherSpelling", "sub/../N0000.raw",
                       [] { std::filesystem::create_directory("sub"); }}),
    caseName<SecondNameCase>);

// A file created by REPLACE is identified only when an open first compares
// against it; it must be recognised all the same.
struct CreatedFileCase {
    const char* name;
    const char* status;
    std::vector<std::string> log;
};

void PrintTo(const CreatedFileCase& c, std::ostream* os) {
    *os << c.status << " of a second name of a created file";
}

class CreatedFile : public ::testing::TestWithParam<CreatedFileCase> {};

TEST_P(CreatedFile, IsRecognisedUnderASecondNameAtItsFirstComparison) {
    TempDir dir;
    CapturedProcess process;
    FaultInjection faults(process.calls());
    faults.logIdentities();
    const char* status = GetParam().status;
    const ProcessOutcome outcome = process.run([&] {
        openUnit(2, "out.g12", "REPLACE");
        putWaiting(2, "GSC    1:   1\r\n");
        std::filesystem::create_hard_link("out.g12", "alias.g12");
        openUnit(3, "alias.g12", status);
    });
    EXPECT_EQ(outcome.err,
              openReport("6413", "alias.g12", "file is already connected to another unit"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("out.g12"), "GSC    1:   1\r\n");  // neither truncated nor lost
    EXPECT_EQ(faults.log(), GetParam().log);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, CreatedFile,
    ::testing::Values(
        // A creation that succeeds needs no lookup first; one that finds the
        // name taken changes nothing. The open tells the identity of what it
        // opened; the refused handle is closed before the report.
        CreatedFileCase{"Old",
                        "OLD",
                        {"create out.g12 rw", "open alias.g12 rw", "identify open out.g12",
                         "close alias.g12", "close out.g12"}},
        CreatedFileCase{"Replace",
                        "REPLACE",
                        {"create out.g12 rw", "create alias.g12 rw", "identify alias.g12",
                         "identify open out.g12", "close out.g12"}}),
    caseName<CreatedFileCase>);

// An OLD open of a unit that is not connected asks the file system for the
// open alone: no name lookup, no second identification of the opened file.
TEST_F(UnitsTest, OldOpensWithoutAskingTheNameEvenBesideAnotherUnit) {
    writeFile("merlode.ins", "instructions\r\n");
    writeFile("N0000.raw", "entries\r\n");
    faults.logIdentities();
    const ProcessOutcome outcome = process.run([] {
        openUnit(1, "merlode.ins", "OLD");
        openUnit(3, "N0000.raw", "OLD");
        EXPECT_EQ(readAll(3), "entries\r\n");
    });
    EXPECT_EQ(outcome.out + outcome.err, "");
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"open merlode.ins rw", "open N0000.raw rw"}));
}

// Which report an OLD open gives when several reasons to refuse it meet: the
// file of another unit first, then the full table, then the open's own reason.
struct OldPrecedenceCase {
    const char* name;
    bool tableFull;
    const char* fileName;
    FileError refusal;  // of every attempt to open `fileName`; None for the file system's own
    const char* number;
    const char* message;
};

void PrintTo(const OldPrecedenceCase& c, std::ostream* os) {
    *os << "OLD " << c.fileName << (c.tableFull ? " with the table full" : "") << " -> " << c.number
        << " " << c.message;
}

class OldPrecedence : public ::testing::TestWithParam<OldPrecedenceCase> {};

long openDescriptors() {
    const auto fds = std::filesystem::directory_iterator("/proc/self/fd");
    return std::distance(begin(fds), end(fds));
}

TEST_P(OldPrecedence, ReportsTheFirstReasonInOrder) {
    const OldPrecedenceCase& c = GetParam();
    TempDir dir;
    writeFile("N0000.raw", "entries\r\n");
    writeFile("plain.raw", "other entries\r\n");
    std::filesystem::create_hard_link("N0000.raw", "alias.raw");
    std::filesystem::create_directory("folder");
    CapturedProcess process;
    FaultInjection faults(process.calls());
    if (c.refusal != FileError::None) faults.refuseOpen(c.fileName, c.refusal);
    const long descriptorsBefore = openDescriptors();
    const ProcessOutcome outcome = process.run([&] {
        openUnit(1, "N0000.raw", "OLD");
        const int last = c.tableFull ? 61 : 60;
        for (int unit = 2; unit <= last; ++unit) {
            openUnit(unit, "f" + std::to_string(unit) + ".txt", "REPLACE");
        }
        openUnit(70, c.fileName, "OLD");
    });
    EXPECT_EQ(outcome.err, openReport(c.number, c.fileName, c.message));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("N0000.raw"), "entries\r\n");
    // The handle of an open undone for the refusal is not left behind.
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
}

const char* const kConnectedElsewhere = "file is already connected to another unit";
const char* const kTableFull = "too many units connected";

INSTANTIATE_TEST_SUITE_P(
    Reasons, OldPrecedence,
    ::testing::Values(OldPrecedenceCase{"ConnectedElsewhere", false, "alias.raw", FileError::None,
                                        "6413", kConnectedElsewhere},
                      OldPrecedenceCase{"ConnectedElsewhereAndRefused", false, "alias.raw",
                                        FileError::AccessDenied, "6413", kConnectedElsewhere},
                      OldPrecedenceCase{"ConnectedElsewhereAndOutOfHandles", false, "alias.raw",
                                        FileError::TooManyOpen, "6413", kConnectedElsewhere},
                      OldPrecedenceCase{"ConnectedElsewhereAndTableFull", true, "alias.raw",
                                        FileError::None, "6413", kConnectedElsewhere},
                      OldPrecedenceCase{"Missing", false, "missing.raw", FileError::None, "6416",
                                        "file not found"},
                      OldPrecedenceCase{"Directory", false, "folder", FileError::None, "6414",
                                        "access to the file denied"},
                      OldPrecedenceCase{"RefusedBesideAnotherUnit", false, "plain.raw",
                                        FileError::AccessDenied, "6414",
                                        "access to the file denied"},
                      OldPrecedenceCase{"MissingAndTableFull", true, "missing.raw", FileError::None,
                                        "6418", kTableFull},
                      OldPrecedenceCase{"DirectoryAndTableFull", true, "folder", FileError::None,
                                        "6418", kTableFull},
                      OldPrecedenceCase{"RefusedAndTableFull", true, "plain.raw",
                                        FileError::AccessDenied, "6418", kTableFull}),
    caseName<OldPrecedenceCase>);

// Sizes beyond 2 GiB (and file numbers beyond 32 bits) on every build, the
// 32-bit ones included: such a file opens, reads, and is known by its
// identity under a second name. The file is sparse, so it costs no room.
TEST_F(UnitsTest, AFileBeyondTwoGigabytesIsOpenedAndKnownUnderASecondName) {
    writeFile("big.raw", "head");
    std::filesystem::resize_file("big.raw", std::uintmax_t{3} << 30);
    std::filesystem::create_hard_link("big.raw", "alias.raw");
    const ProcessOutcome outcome = process.run([] {
        openUnit(3, "big.raw", "OLD");
        char head[4];
        ASSERT_EQ(textio::readBytes(*findUnit(3), head, sizeof head), 4);
        EXPECT_EQ(std::string(head, sizeof head), "head");
        openUnit(4, "alias.raw", "OLD");
    });
    EXPECT_EQ(outcome.err,
              openReport("6413", "alias.raw", "file is already connected to another unit"));
    EXPECT_EQ(outcome.status, 1);
}

TEST_F(UnitsTest, ReopeningAUnitOnItsOwnFileKeepsTheConnectionAsItIs) {
    writeFile("N0000.raw", "0123456789");
    std::filesystem::create_hard_link("N0000.raw", "alias.raw");
    process.run([] {
        // A reading connection keeps its position and its name...
        openUnit(3, "N0000.raw", "OLD");
        char head[4];
        ASSERT_EQ(textio::readBytes(*findUnit(3), head, sizeof head), 4);
        openUnit(3, "alias.raw  ", "OLD");
        EXPECT_STREQ(findUnit(3)->fileName, "N0000.raw");
        EXPECT_EQ(readAll(3), "456789");

        // ...and a writing one is neither truncated by REPLACE nor flushed.
        openUnit(2, "out.g12", "REPLACE");
        putWaiting(2, "waiting\r\n");
        ASSERT_EQ(textio::writeBytes(*findUnit(2), "written\r\n", 9).written, 9U);
        std::filesystem::create_symlink("out.g12", "link.g12");
        openUnit(2, "link.g12", "replace");
        EXPECT_TRUE(findUnit(2)->outputWaiting);
        EXPECT_EQ(findUnit(2)->output.waiting(), 9U);
        EXPECT_EQ(readFile("out.g12"), "written\r\n");
    });
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"open N0000.raw rw", "create out.g12 rw"}));
    EXPECT_EQ(readFile("N0000.raw"), "0123456789");
}

TEST_F(UnitsTest, ReopeningAUnitOnAnotherFileClosesTheFirstKeepingItsOutput) {
    process.run([] {
        openUnit(2, "first.g12", "REPLACE");
        putWaiting(2, "first record\r\n");
        openUnit(2, "second.g12", "REPLACE");
        EXPECT_STREQ(findUnit(2)->fileName, "second.g12");
        EXPECT_FALSE(findUnit(2)->outputWaiting);
    });
    EXPECT_EQ(readFile("first.g12"), "first record\r\n");
    // Neither name designated a file, so neither REPLACE had anything to delete.
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"create first.g12 rw", "close first.g12",
                                                      "create second.g12 rw"}));
}

// --- 61 slots ------------------------------------------------------------------

TEST_F(UnitsTest, TheSixtySecondConnectionIsRefusedWithoutTouchingItsFile) {
    writeFile("f62.txt", "must survive\r\n");
    const ProcessOutcome outcome = process.run([] {
        for (int unit = 1; unit <= 61; ++unit) {
            openUnit(unit, "f" + std::to_string(unit) + ".txt", "REPLACE");
        }
        putWaiting(61, "sixty-one\r\n");
        // A connected unit may still move to another file with the table full.
        openUnit(61, "other.txt", "REPLACE");
        openUnit(62, "f62.txt", "REPLACE");
    });
    EXPECT_EQ(outcome.err, openReport("6418", "f62.txt", "too many units connected"));
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(readFile("f62.txt"), "must survive\r\n");
    EXPECT_EQ(readFile("f61.txt"), "sixty-one\r\n");
    EXPECT_TRUE(fileExists("other.txt"));
    EXPECT_EQ(faults.log().back(), "close other.txt");  // the end closed all 61
}

// --- Deletion at close --------------------------------------------------------

TEST_F(UnitsTest, DeletionRefusedForAccessIsACloseError) {
    faults.refuseDelete("gsctmp.tmp", FileError::AccessDenied);
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        closeUnit(2, "delete");
    });
    EXPECT_EQ(outcome.err,
              "\r\nrun-time error F6404: CLOSE(gsctmp.tmp)\r\n"
              "- file could not be deleted: access denied\r\n");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(fileExists("gsctmp.tmp"));
    // The handle was closed once, before the deletion; the end had nothing left.
    EXPECT_EQ(faults.log(), (std::vector<std::string>{"create gsctmp.tmp rw", "close gsctmp.tmp",
                                                      "delete gsctmp.tmp"}));
}

TEST_F(UnitsTest, DeletionOfAFileAlreadyGoneIsIgnored) {
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        std::filesystem::remove("gsctmp.tmp");
        closeUnit(2, "delete");
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.err, "");
}

TEST_F(UnitsTest, OtherRefusedDeletionsAreIgnored) {
    faults.refuseDelete("gsctmp.tmp", FileError::Other);
    const ProcessOutcome outcome = process.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        closeUnit(2, "delete");
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.err, "");
}

// --- The normal end -----------------------------------------------------------

TEST_F(UnitsTest, TheEndClosesInSlotOrderWritingWaitingOutput) {
    const ProcessOutcome outcome = process.run([] {
        openUnit(5, "a.txt", "REPLACE");  // slot 1
        openUnit(2, "b.txt", "REPLACE");  // slot 2
        openUnit(7, "c.txt", "REPLACE");  // slot 3
        closeUnit(5, "keep");
        openUnit(9, "d.txt", "REPLACE");  // slot 1 again
        putWaiting(2, "bee\r\n");
        putWaiting(7, "sea\r\n");
        putWaiting(9, "dee\r\n");
        textio::endProcess(0);
    });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out + outcome.err, "");
    const std::vector<std::string>& log = faults.log();
    const std::vector<std::string> closes(log.end() - 3, log.end());
    EXPECT_EQ(closes, (std::vector<std::string>{"close d.txt", "close b.txt", "close c.txt"}));
    EXPECT_EQ(readFile("b.txt"), "bee\r\n");
    EXPECT_EQ(readFile("c.txt"), "sea\r\n");
    EXPECT_EQ(readFile("d.txt"), "dee\r\n");
}

}  // namespace
}  // namespace gscmerge::testing
