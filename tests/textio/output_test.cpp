// Write statements, byte for byte: field texts and their justification,
// records and their ends, when file bytes reach the file, console message
// lines with their line control, and the reports of failed writes.
#include "textio/output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/write_items.h"
#include "textio/console.h"
#include "textio/error_report.h"
#include "textio/layout.h"
#include "textio/output_buffer.h"
#include "textio/platform.h"
#include "textio/process.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace {

using testing::CapturedProcess;
using testing::integer;
using testing::Item;
using testing::kStarLayout;
using testing::MemoryFile;
using testing::ProcessOutcome;
using testing::putItems;
using testing::real;
using testing::starItems;
using testing::TempDir;
using testing::text;

// One statement with `layoutText` and `items`, into memory; the bytes the
// file holds once closed.
std::string writeRecord(const std::string& layoutText, const std::vector<Item>& items) {
    MemoryFile file;
    const RecordLayout layout = parseLayout(layoutText);
    OutputStatement statement(file.buffer, "memory", layout);
    putItems(statement, items);
    statement.endWrite();
    file.buffer.flushWaiting();
    return file.contents();
}

// ---------------------------------------------------------------------------
// Field texts: each field between literal brackets, so that the blanks of
// right justification show inside them.

struct FieldCase {
    const char* label;
    Item item;
    const char* field;
    const char* text;  // between the brackets

    friend std::ostream& operator<<(std::ostream& out, const FieldCase& c) {
        return out << c.item << " under " << c.field << " -> [" << c.text << "]";
    }
};

class FieldText : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldText, IsExactlyTheBracketedText) {
    const FieldCase& c = GetParam();
    const std::string layout = std::string("('[',") + c.field + ",']')";
    EXPECT_EQ(writeRecord(layout, {c.item}), std::string("[") + c.text + "]\r\n");
}

std::string caseLabel(const ::testing::TestParamInfo<FieldCase>& param) {
    return param.param.label;
}

INSTANTIATE_TEST_SUITE_P(
    FixedPoint, FieldText,
    ::testing::Values(FieldCase{"Point454", real(0.454), "F3.2", ".45"},
                      FieldCase{"NearestTo0995", real(0.995), "F3.2", "***"},
                      FieldCase{"Point999", real(0.999), "F3.2", "***"},
                      FieldCase{"Point9949", real(0.9949), "F3.2", ".99"},
                      FieldCase{"SingleNearestTo0995", real(0.99499988555908203125), "F3.2", ".99"},
                      FieldCase{"ZeroTwoDecimals", real(0.0), "F3.2", ".00"},
                      FieldCase{"Point44", real(0.44), "F2.1", ".4"},
                      FieldCase{"Point95", real(0.95), "F2.1", ".9"},
                      FieldCase{"Point05", real(0.05), "F2.1", ".1"},
                      FieldCase{"ZeroOneDecimal", real(0.0), "F2.1", ".0"},
                      FieldCase{"Twelve345", real(12.345), "F5.2", "12.35"},
                      FieldCase{"Nine999", real(9.999), "F5.2", "10.00"},
                      FieldCase{"Nine995", real(9.995), "F5.2", " 9.99"},
                      FieldCase{"MinusOnePoint5", real(-1.5), "F5.2", "-1.50"},
                      FieldCase{"MinusNine99", real(-9.99), "F5.2", "-9.99"},
                      FieldCase{"Hundred", real(100.0), "F5.2", "*****"},
                      FieldCase{"MinusTen", real(-10.0), "F5.2", "*****"},
                      FieldCase{"Half", real(0.5), "F5.2", "  .50"},
                      FieldCase{"NegativeZero", real(-0.0), "F5.2", "  .00"},
                      FieldCase{"MinusPoint001", real(-0.001), "F5.2", "  .00"},
                      FieldCase{"MinusPoint005", real(-0.005), "F5.2", " -.01"},
                      FieldCase{"Point125", real(0.125), "F5.2", "  .13"},
                      FieldCase{"Two675", real(2.675), "F5.2", " 2.67"},
                      FieldCase{"Point2NoDecimals", real(0.2), "F3.0", " 0."},
                      FieldCase{"TwoPoint5NoDecimals", real(2.5), "F3.0", " 3."},
                      // No decimals: a value that rounds to zero has no minus sign, one
                      // that rounds away from zero has; "0." needs two columns.
                      FieldCase{"MinusPoint4NoDecimals", real(-0.4), "F4.0", "  0."},
                      FieldCase{"MinusPoint5NoDecimals", real(-0.5), "F4.0", " -1."},
                      FieldCase{"ZeroTooNarrowNoDecimals", real(0.2), "F1.0", "*"},
                      FieldCase{"ZeroTooNarrow", real(0.0), "F2.2", "**"},
                      // Rounding carries into a new first digit below 1.
                      FieldCase{"CarryBelowOne", real(0.0096), "F5.3", " .010"}),
    caseLabel);

INSTANTIATE_TEST_SUITE_P(
    IntegerAndCharacter, FieldText,
    ::testing::Values(
        FieldCase{"ZeroI1", integer(0), "I1", "0"}, FieldCase{"SevenI1", integer(7), "I1", "7"},
        FieldCase{"TenI1", integer(10), "I1", "*"}, FieldCase{"MinusOneI1", integer(-1), "I1", "*"},
        FieldCase{"ZeroI4", integer(0), "I4", "   0"},
        FieldCase{"FiftySixI4", integer(56), "I4", "  56"},
        FieldCase{"TooWideI4", integer(12345), "I4", "****"},
        FieldCase{"MinusNineHundredI4", integer(-999), "I4", "-999"},
        FieldCase{"MinusThousandI4", integer(-1000), "I4", "****"},
        FieldCase{"PlusA1", text("+"), "A1", "+"}, FieldCase{"ShortA3", text("ab"), "A3", " ab"},
        FieldCase{"LongA2", text("abc"), "A2", "ab"}, FieldCase{"WholeA", text("abc"), "A", "abc"},
        // Minimum digits, the most negative value, empty texts.
        FieldCase{"MinimumDigits", integer(7), "I5.3", "  007"},
        FieldCase{"MinimumDigitsNegative", integer(-7), "I5.3", " -007"},
        FieldCase{"ZeroWithoutDigits", integer(0), "I3.0", "   "},
        FieldCase{"MostNegative", integer(-2147483647 - 1), "I11", "-2147483648"},
        FieldCase{"MostNegativeTooWide", integer(-2147483647 - 1), "I10", "**********"},
        FieldCase{"EmptyA3", text(""), "A3", "   "}, FieldCase{"EmptyA", text(""), "A", ""}),
    caseLabel);

// ---------------------------------------------------------------------------
// Records.

TEST(Record, LiteralSkipAndIntegerField) {
    EXPECT_EQ(writeRecord("('GSC',1X,I4)", {integer(1234)}), "GSC 1234\r\n");
}

TEST(Record, StarLayoutGivesItsFortyThreeColumns) {
    EXPECT_EQ(writeRecord(kStarLayout, starItems(56)),
              "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n");
}

TEST(Record, EndsAfterTheLastItemWhenTheLayoutHasMoreFields) {
    const std::vector<Item> items = {text("a"), text("b"), text("."),
                                     text("r"), text("a"), text("w")};
    EXPECT_EQ(writeRecord("(12A1)", items), "ab.raw\r\n");
}

TEST(Record, SkipsBecomeBlanksOnlyBeforeACharacter) {
    EXPECT_EQ(writeRecord("(A1,3X)", {text("a")}), "a\r\n");
    EXPECT_EQ(writeRecord("(A1,3X,A1)", {text("a"), text("b")}), "a   b\r\n");
    EXPECT_EQ(writeRecord("(A1,2X,1X,'|')", {text("a")}), "a   |\r\n");
    // Right-justification blanks of an item at the end are owed like a skip.
    EXPECT_EQ(writeRecord("(A1,A4)", {text("a"), text("")}), "a\r\n");
}

TEST(Record, LiteralsAfterTheLastItemAreWrittenUpToTheNextField) {
    EXPECT_EQ(writeRecord("(I2,' end',I2,'never')", {integer(7)}), " 7 end\r\n");
    EXPECT_EQ(writeRecord("('GSC')", {}), "GSC\r\n");
    EXPECT_EQ(writeRecord("(I4)", {}), "\r\n");
}

TEST(Record, DoubledDelimitersInLiteralsStandForOne) {
    EXPECT_EQ(writeRecord("('it''s',1X,\"say \"\"hi\"\"\")", {}), "it's say \"hi\"\r\n");
}

TEST(Record, LayoutStartsOverOnANewRecordWhenItemsRemain) {
    EXPECT_EQ(writeRecord("(1X,A1)", {text("a"), text("b")}), " a\r\n b\r\n");
}

TEST(Record, NegativeTextLengthCountsAsZero) {
    MemoryFile file;
    const RecordLayout layout = parseLayout("(A3,'|')");
    OutputStatement statement(file.buffer, "memory", layout);
    statement.putText("abc", -2);
    statement.endWrite();
    file.buffer.flushWaiting();
    EXPECT_EQ(file.contents(), "   |\r\n");
}

// Items are copied when put, and nothing is converted or placed before the
// statement ends.
TEST(Record, ItemsAreCopiedAndPlacedOnlyAtTheEnd) {
    MemoryFile file;
    const RecordLayout layout = parseLayout("(A2,I3)");
    OutputStatement statement(file.buffer, "memory", layout);
    char name[2] = {'a', 'b'};
    statement.putText(name, 2);
    statement.putInteger(5);
    name[0] = 'x';
    EXPECT_EQ(file.buffer.waiting(), 0u);
    statement.endWrite();
    file.buffer.flushWaiting();
    EXPECT_EQ(file.contents(), "ab  5\r\n");
}

// Statements far longer than the program's own: many items and long texts,
// one record per pair of items because the layout starts over.
TEST(Record, LongStatementsKeepEveryItem) {
    std::vector<Item> items;
    std::string expected;
    for (std::int32_t i = 0; i < 40; ++i) {
        const std::string letters(7, static_cast<char>('a' + i % 26));
        items.push_back(integer(i));
        items.push_back(text(letters));
        expected += (i < 10 ? "  " : " ") + std::to_string(i) + letters + "\r\n";
    }
    EXPECT_EQ(writeRecord("(I3,A)", items), expected);
}

// ---------------------------------------------------------------------------
// The buffer: file bytes go out only in whole blocks, and the rest at close.

TEST(Buffer, WritesOnlyWholeBlocksAndSplitsARecordAcrossTwoWrites) {
    MemoryFile file;
    const RecordLayout layout = parseLayout(kStarLayout);
    std::string expected;
    auto writeStar = [&](std::int32_t number) {
        OutputStatement statement(file.buffer, "memory", layout);
        putItems(statement, starItems(number));
        statement.endWrite();
        expected += writeRecord(kStarLayout, starItems(number));
    };
    for (std::int32_t i = 1; i <= 23; ++i) writeStar(i);  // 23 x 45 = 1035 > 1024
    ASSERT_EQ(file.writes.size(), 1u);
    EXPECT_EQ(file.writes[0].size(), 1024u);
    // The 23rd record is split: its first 34 bytes went with the block.
    EXPECT_EQ(file.writes[0], expected.substr(0, 1024));
    EXPECT_EQ(file.buffer.waiting(), 11u);
    file.buffer.flushWaiting();
    ASSERT_EQ(file.writes.size(), 2u);
    EXPECT_EQ(file.writes[1], expected.substr(1024));
}

TEST(Buffer, AFullBlockIsWrittenAtOnceAndNothingIsLeftForTheClose) {
    MemoryFile file;
    const RecordLayout layout = parseLayout("(A)");
    for (int i = 0; i < 16; ++i) {  // 16 x (62 + CR LF) = 1024
        OutputStatement statement(file.buffer, "memory", layout);
        const std::string line(62, static_cast<char>('a' + i));
        statement.putText(line.data(), 62);
        statement.endWrite();
    }
    ASSERT_EQ(file.writes.size(), 1u);
    EXPECT_EQ(file.writes[0].size(), 1024u);
    file.buffer.flushWaiting();
    EXPECT_EQ(file.writes.size(), 1u);
}

// ---------------------------------------------------------------------------
// Statements on real units.

class UnitOutput : public ::testing::Test {
protected:
    static void writeTo(std::int32_t unit, const std::string& layoutText,
                        const std::vector<Item>& items) {
        const RecordLayout layout = parseLayout(layoutText);
        OutputStatement statement(*findUnit(unit), layout);
        putItems(statement, items);
        statement.endWrite();
    }

    static std::string report(int number, const char* name) {
        return "\r\nrun-time error F" + std::to_string(number) + ": WRITE(" + name + ")\r\n- " +
               std::string(runtimeErrorMessage(number)) + "\r\n";
    }

    TempDir dir_;
    CapturedProcess process_;
};

TEST_F(UnitOutput, FileHoldsNothingBeforeTheCloseAndBothRecordsAfterIt) {
    const ProcessOutcome outcome = process_.run([] {
        openUnit(2, "gsctmp.tmp", "REPLACE");
        writeTo(2, "(12A1)", {text("a"), text("b"), text("."), text("r"), text("a"), text("w")});
        writeTo(2, "(12A1)", {text("a"), text("b"), text("."), text("g"), text("1"), text("2")});
        EXPECT_EQ(testing::readFile("gsctmp.tmp"), "");
        closeUnit(2, "keep");
    });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(testing::readFile("gsctmp.tmp"), "ab.raw\r\nab.g12\r\n");
}

// Counts the writes that reach the system and what they carry.
std::vector<std::string> systemWrites;

platform::WriteResult recordWrite(platform::FileHandle file, const char* bytes, std::size_t count) {
    systemWrites.emplace_back(bytes, count);
    return platform::nativeSystemCalls().writeFile(file, bytes, count);
}

TEST_F(UnitOutput, FileBytesGoOutInWholeBlocksThenTheRestAtClose) {
    systemWrites.clear();
    process_.calls().writeFile = recordWrite;
    std::string expected;
    const ProcessOutcome outcome = process_.run([&] {
        openUnit(2, "n0001.g12", "REPLACE");
        for (std::int32_t i = 1; i <= 24; ++i) {
            writeTo(2, kStarLayout, starItems(i));
            expected += writeRecord(kStarLayout, starItems(i));
            EXPECT_EQ(systemWrites.size(), i < 23 ? 0u : 1u) << "after record " << i;
        }
        closeUnit(2, "keep");
    });
    EXPECT_FALSE(outcome.ended);
    ASSERT_EQ(systemWrites.size(), 2u);
    EXPECT_EQ(systemWrites[0].size(), 1024u);
    EXPECT_EQ(systemWrites[1].size(), expected.size() - 1024);
    EXPECT_EQ(testing::readFile("n0001.g12"), expected);
}

// A statement that never ends leaves no trace, even when the process ends
// and closes the file after its items were put.
TEST_F(UnitOutput, AnUnfinishedStatementWritesNothing) {
    const ProcessOutcome outcome = process_.run([] {
        openUnit(2, "n0001.g12", "REPLACE");
        writeTo(2, "('GSC',1X,I4)", {integer(1)});
        const RecordLayout layout = parseLayout("('GSC',1X,I4)");
        OutputStatement statement(*findUnit(2), layout);
        statement.putInteger(2);
        stopProgram();
    });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "Stop - Program terminated.\r\n");
    EXPECT_EQ(testing::readFile("n0001.g12"), "GSC    1\r\n");
}

// Descriptors that do not suit the item: a WRITE report on the unit's file.
// What the statement placed before it met the fault stays in the file.
struct MismatchCase {
    const char* label;
    const char* layout;
    Item item;
    int number;
    const char* fileAfter;

    friend std::ostream& operator<<(std::ostream& out, const MismatchCase& c) {
        return out << c.item << " under " << c.layout << " -> " << c.number;
    }
};

class DescriptorMismatch : public UnitOutput, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(DescriptorMismatch, IsReportedAsAWriteError) {
    const MismatchCase& c = GetParam();
    const ProcessOutcome outcome = process_.run([&] {
        openUnit(2, "out.g12", "REPLACE");
        writeTo(2, c.layout, {c.item});
        ADD_FAILURE() << "the statement went on";
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, report(c.number, "out.g12"));
    EXPECT_EQ(testing::readFile("out.g12"), c.fileAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Items, DescriptorMismatch,
    ::testing::Values(MismatchCase{"TextUnderInteger", "(I4)", text("ab"), 6205, ""},
                      MismatchCase{"TextUnderFixedPoint", "(F5.2)", text("ab"), 6205, ""},
                      MismatchCase{"RealUnderInteger", "(I4)", real(1.5), 6206, ""},
                      MismatchCase{"IntegerUnderFixedPoint", "(F5.2)", integer(1), 6207, ""},
                      MismatchCase{"AfterALiteral", "('GSC',1X,F5.2)", integer(1), 6207, "GSC"}),
    [](const ::testing::TestParamInfo<MismatchCase>& param) {
        return std::string(param.param.label);
    });

// A write that stores fewer bytes than given is always reported: a refusal
// as 6421, a full disk and every other reason as 6422.
platform::FileError shortWriteReason = platform::FileError::None;

platform::WriteResult shortWrite(platform::FileHandle, const char*, std::size_t count) {
    return {count / 2, shortWriteReason};
}

struct ShortWriteCase {
    const char* label;
    platform::FileError reason;
    int number;
    const char* message;  // the report's message; the program's own for `number` when null

    friend std::ostream& operator<<(std::ostream& out, const ShortWriteCase& c) {
        return out << c.label;
    }
};

std::string shortWriteReport(const ShortWriteCase& c) {
    const std::string message =
        c.message != nullptr ? c.message : std::string(runtimeErrorMessage(c.number));
    return "\r\nrun-time error F" + std::to_string(c.number) + ": WRITE(out.g12)\r\n- " + message +
           "\r\n";
}

class ShortWrite : public UnitOutput, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(ShortWrite, AtCloseIsReportedByItsReason) {
    const ShortWriteCase& c = GetParam();
    shortWriteReason = c.reason;
    process_.calls().writeFile = shortWrite;
    const ProcessOutcome outcome = process_.run([] {
        openUnit(2, "out.g12", "REPLACE");
        writeTo(2, "('GSC',1X,I4)", {integer(1234)});
        closeUnit(2, "keep");
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, shortWriteReport(c));
}

TEST_P(ShortWrite, OfAFullBlockIsReportedByItsReason) {
    const ShortWriteCase& c = GetParam();
    shortWriteReason = c.reason;
    process_.calls().writeFile = shortWrite;
    int written = 0;
    const ProcessOutcome outcome = process_.run([&] {
        openUnit(2, "out.g12", "REPLACE");
        for (; written < 30; ++written) writeTo(2, kStarLayout, starItems(written));
    });
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(written, 22) << "the 23rd record fills the block";
    EXPECT_EQ(outcome.err, shortWriteReport(c));
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, ShortWrite,
    ::testing::Values(
        ShortWriteCase{"DiskFull", platform::FileError::DiskFull, 6422, nullptr},
        ShortWriteCase{"QuotaExceeded", platform::FileError::QuotaExceeded, 6422,
                       "disk quota exceeded"},
        ShortWriteCase{"FileTooLarge", platform::FileError::FileTooLarge, 6422, "file too large"},
        ShortWriteCase{"AccessDenied", platform::FileError::AccessDenied, 6421, nullptr},
        // No system number: no system words to give.
        ShortWriteCase{"Other", platform::FileError::Other, 6422, "write failed"},
        // A shortfall the system did not explain is a failure all the same.
        ShortWriteCase{"Unexplained", platform::FileError::None, 6422, "write failed"}),
    [](const ::testing::TestParamInfo<ShortWriteCase>& param) {
        return std::string(param.param.label);
    });

// ---------------------------------------------------------------------------
// Console message lines.

const std::string kTooManyEntries = "Error: too many entries in raw GSC file.";
const std::string kBadSign = "Error: Invalid char. in decl. sign field.";
const std::string kTooManyStars = "Error: too many distinct entries in raw file.";

// Standard output as the captured process sees it, one entry per write.
std::vector<std::string> standardWrites;
platform::WriteResult (*captureStandard)(platform::StandardStream, const char*,
                                         std::size_t) = nullptr;

platform::WriteResult recordStandard(platform::StandardStream stream, const char* bytes,
                                     std::size_t count) {
    if (stream == platform::StandardStream::Output) standardWrites.emplace_back(bytes, count);
    return captureStandard(stream, bytes, count);
}

class Console : public ::testing::Test {
protected:
    Console() {
        standardWrites.clear();
        captureStandard = process_.calls().writeStandard;
        process_.calls().writeStandard = recordStandard;
    }

    CapturedProcess process_;
};

TEST_F(Console, FirstMessageIsExactlyItsCharacters) {
    for (const std::string& message : {kTooManyEntries, kBadSign, kTooManyStars}) {
        resetProcessState();
        const ProcessOutcome outcome = process_.run([&] { writeConsoleMessage(message); });
        EXPECT_FALSE(outcome.ended);
        EXPECT_EQ(outcome.out, message);
        EXPECT_TRUE(consoleUnit().lineEndOwed);
    }
    EXPECT_EQ(kTooManyEntries.size(), 40u);
}

TEST_F(Console, MessageAfterAnEarlierRecordBeginsWithItsLineEnd) {
    const ProcessOutcome outcome = process_.run([] {
        writeConsoleMessage(kTooManyEntries);
        writeConsoleMessage(kBadSign);
    });
    EXPECT_EQ(outcome.out, kTooManyEntries + "\r\n" + kBadSign);
    // One write per record, its owed line end included.
    EXPECT_EQ(standardWrites, (std::vector<std::string>{kTooManyEntries, "\r\n" + kBadSign}));
}

TEST_F(Console, StopAfterAMessageEndsItsLineAndLeavesAnEmptyLine) {
    const ProcessOutcome outcome = process_.run([] {
        writeConsoleMessage(kTooManyStars);
        stopProgram();
    });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, kTooManyStars + "\r\nStop - Program terminated.\r\n\r\n");
}

struct LineControlCase {
    const char* label;
    const char* record;
    bool lineOpen;
    const char* bytes;

    friend std::ostream& operator<<(std::ostream& out, const LineControlCase& c) {
        return out << c.label;
    }
};

class LineControl : public Console, public ::testing::WithParamInterface<LineControlCase> {};

TEST_P(LineControl, FirstCharacterSelectsWhatGoesBeforeTheRest) {
    const LineControlCase& c = GetParam();
    const ProcessOutcome outcome = process_.run([&] {
        consoleUnit().lineEndOwed = c.lineOpen;
        writeConsoleRecord(consoleUnit(), c.record, std::string(c.record).size());
    });
    EXPECT_EQ(outcome.out, c.bytes);
    EXPECT_EQ(standardWrites.size(), 1u);
    EXPECT_TRUE(consoleUnit().lineEndOwed);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineControl,
    ::testing::Values(LineControlCase{"BlankClosed", " msg", false, "msg"},
                      LineControlCase{"BlankOpen", " msg", true, "\r\nmsg"},
                      LineControlCase{"OtherClosed", "xmsg", false, "msg"},
                      LineControlCase{"OtherOpen", "xmsg", true, "\r\nmsg"},
                      LineControlCase{"ZeroClosed", "0msg", false, "\r\nmsg"},
                      LineControlCase{"ZeroOpen", "0msg", true, "\r\n\r\nmsg"},
                      LineControlCase{"PlusClosed", "+msg", false, "\rmsg"},
                      LineControlCase{"PlusOpen", "+msg", true, "\rmsg"},
                      LineControlCase{"OneClosed", "1msg", false, "\r\n\f\r \rmsg"},
                      LineControlCase{"OneOpen", "1msg", true, "\r\n\f\r \rmsg"}),
    [](const ::testing::TestParamInfo<LineControlCase>& param) {
        return std::string(param.param.label);
    });

}  // namespace
}  // namespace gscmerge::textio
