// Read statements over text in memory: how records are cut, how each kind of
// field is read, and the exact report of every READ error.
#include "textio/input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <string_view>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"
#include "tests/support/memory_input.h"
#include "tests/support/printable.h"
#include "tests/support/temp_dir.h"
#include "textio/error_report.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace {

using testing::CapturedProcess;
using testing::caseName;
using testing::MemoryInput;
using testing::printable;
using testing::ProcessOutcome;

// The exact bytes of a READ report for data named `name`.
std::string readReport(int number, std::string_view name = "memory") {
    return "\r\nrun-time error F" + std::to_string(number) + ": READ(" + std::string(name) +
           ")\r\n- " + std::string(runtimeErrorMessage(number)) + "\r\n";
}

// Shortest text that reads back as the same double; "-0" for negative zero.
std::string renderReal(double value) {
    char text[32];
    const auto result = std::to_chars(text, text + sizeof(text), value);
    return {text, result.ptr};
}

// Runs one read statement whose items are written as "i" (integer), "r"
// (real) and "tL" (text of L characters), separated by blanks. Each value is
// rendered into `values` as soon as it is assigned ("12", "0.05", "[AB  ]",
// joined by "|"); when the statement ends the process, " !" marks the place.
void readItems(InputBuffer& buffer, std::string_view layoutText, std::string_view items,
               std::string& values) {
    const RecordLayout layout = parseLayout(layoutText);
    InputStatement read(buffer, layout);
    bool first = true;
    auto append = [&](const std::string& value) {
        if (!first) values += '|';
        first = false;
        values += value;
    };
    try {
        std::size_t pos = 0;
        while (pos < items.size()) {
            const std::size_t stop = std::min(items.find(' ', pos), items.size());
            const std::string_view item = items.substr(pos, stop - pos);
            pos = stop + 1;
            if (item == "i") {
                std::int32_t value = -999;
                read.getInteger(value);
                append(std::to_string(value));
            } else if (item == "r") {
                double value = -999.0;
                read.getReal(value);
                append(renderReal(value));
            } else {
                std::string value(std::stoul(std::string(item.substr(1))), '?');
                read.getText(value.data(), static_cast<std::int32_t>(value.size()));
                append("[" + value + "]");
            }
        }
        read.endRead();
    } catch (...) {
        values += " !";
        throw;
    }
}

struct StatementRun {
    std::string values;  // the items, then " >" and the next record (read as "(A)")
    ProcessOutcome process;
};

// One statement over `data`, then one "(A)" statement for the record after
// it, shown unless the data had ended.
StatementRun runStatement(std::string_view layout, std::string data, std::string_view items,
                          std::uint32_t blockSize = 1024) {
    MemoryInput input(std::move(data), blockSize);
    StatementRun run;
    bool statementDone = false;
    CapturedProcess process;
    run.process = process.run([&] {
        readItems(input.buffer(), layout, items, run.values);
        statementDone = true;
        std::string next;
        readItems(input.buffer(), "(A)", "t16", next);
        run.values += " >" + next.substr(1, next.find_last_not_of(" ]"));
    });
    if (statementDone && run.process.ended) {
        // Only the end of the data may stop the look at the next record.
        EXPECT_EQ(run.process.err, readReport(6501));
        run.process = {};
    }
    return run;
}

// ---------------------------------------------------------------------------
// Statements that succeed.

struct ReadCase {
    const char* name;
    std::string_view layout;
    std::string_view data;
    std::string_view items;
    std::string_view expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.layout << " over " << printable(c.data) << ", items " << printable(c.items) << " -> "
        << printable(c.expected);
}

class ReadStatement : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadStatement, Values) {
    const ReadCase& c = GetParam();
    const StatementRun run = runStatement(c.layout, std::string(c.data), c.items);
    EXPECT_EQ(run.process.err, "");
    EXPECT_FALSE(run.process.ended);
    EXPECT_EQ(run.values, c.expected) << "layout " << c.layout;
}

const std::string_view kEntryLayout =
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)";
const std::string_view kEntryItems = "i i i i r t1 i i r r r r";

const ReadCase kRecordCases[] = {
    {"HeaderIntoShortItem", "(A)", "ABCDEF\nNEXT\n", "t2", "[AB] >NEXT"},
    {"EmptyLine", "(A)", "\nNEXT\n", "t2", "[  ] >NEXT"},
    {"NameIntoLongItem", "(A)", "N0000001.raw\nNEXT\n", "t12", "[N0000001.raw] >NEXT"},
    {"ShortNameIntoLongItem", "(A)", "ABCD1234\nNEXT\n", "t12", "[ABCD1234    ] >NEXT"},
    {"InstructionLineEnd", "(A2, 8A1)", "EN\nNEXT\n", "t2 t1 t1 t1 t1 t1 t1 t1 t1",
     "[EN]|[ ]|[ ]|[ ]|[ ]|[ ]|[ ]|[ ]|[ ] >NEXT"},
    {"InstructionLineRegion", "(A2, 8A1)", "  N0000001\r\nNEXT\r\n", "t2 t1 t1 t1 t1 t1 t1 t1 t1",
     "[  ]|[N]|[0]|[0]|[0]|[0]|[0]|[0]|[1] >NEXT"},
    {"CountInColumns65To68", "(64X,I4)",
     "1234567890123456789012345678901234567890123456789012345678901234 123xx\nNEXT\n", "i",
     "123 >NEXT"},
    {"CountLineEndsAfterColumn66", "(64X,I4)",
     "123456789012345678901234567890123456789012345678901234567890123412\nNEXT\n", "i", "12 >NEXT"},
    {"CountLineTooShort", "(64X,I4)", "12345678901234567890\nNEXT\n", "i", "0 >NEXT"},
    {"EntryLine", kEntryLayout,
     "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\nNEXT\r\n", kEntryItems,
     "1234|56|1|2|3.45|[-]|4|5|6.7|0.3|12.34|0.15 >NEXT"},
    {"EntryLineEndsAfterColumn40", kEntryLayout,
     "    1234      56 01 02 03.45 -04 05 06.7  \nNEXT\n", kEntryItems,
     "1234|56|1|2|3.45|[-]|4|5|6.7|0|0|0 >NEXT"},
    {"EntryLineEndsInsideSign", kEntryLayout, "    1234      56 01 02 03.45\nNEXT\n", kEntryItems,
     "1234|56|1|2|3.45|[ ]|0|0|0|0|0|0 >NEXT"},
    {"LongerLineRestPassedOver", "(I2)", "12345678\nNEXT\n", "i", "12 >NEXT"},
    {"NoItemsTakesOneLine", "(A)", "SKIPPED\nNEXT\n", "", " >NEXT"},
    {"CarriageReturnEndsData", "(A)", "AB\rCD\nNEXT\n", "t4", "[AB  ] >NEXT"},
    {"CarriageReturnEndsNumericFields", "(I2,I2,A2)", "1\r2345\nNEXT\n", "i i t2",
     "1|0|[  ] >NEXT"},
    {"SkipStopsAtLineEnd", "(5X,A2)", "AB\nCD\n", "t2", "[  ] >CD"},
    {"SkipStopsAtCarriageReturn", "(5X,A2)", "AB\rCDEFG\nNEXT\n", "t2", "[  ] >NEXT"},
    {"SkipPassesAnyCharacter", "(3X,A1)", ",\t\x1aZ\nNEXT\n", "t1", "[Z] >NEXT"},
    {"LayoutStartsOverOnNextLine", "(I2,3X)", "12\n34\nNEXT\n", "i i", "12|34 >NEXT"},
    {"StartOverWithinRepeatedRecord", "(2A1)", "AB\nCD\nNEXT\n", "t1 t1 t1", "[A]|[B]|[C] >NEXT"},
    {"LastLineWithoutLineFeed", "(I4)", "  42", "i", "42"},
    {"LastLineEndsInCarriageReturn", "(I4)", "  42\r", "i", "42"},
};
INSTANTIATE_TEST_SUITE_P(Records, ReadStatement, ::testing::ValuesIn(kRecordCases),
                         caseName<ReadCase>);

const ReadCase kIntegerCases[] = {
    {"RightJustified", "(I8)", "     -42", "i", "-42"},
    {"EmbeddedBlank", "(I8)", "  1 2   ", "i", "12"},
    {"LeftJustified", "(I8)", "42      ", "i", "42"},
    {"LeadingZeros", "(I8)", "00000007", "i", "7"},
    {"OnlyZeros", "(I8)", "00000000", "i", "0"},
    {"SignAfterLeadingZeros", "(I8)", "   00-15", "i", "-15"},
    {"ZerosAfterSignCollected", "(I8)", "   -0015", "i", "-15"},
    {"OnlyPlus", "(I8)", "       +", "i", "0"},
    {"OnlyMinus", "(I8)", "-       ", "i", "0"},
    {"Blank", "(I8)", "        ", "i", "0"},
    {"TabsPassedOver", "(I8)", "\t1\t2\t", "i", "12"},
    {"Largest", "(I10)", "2147483647", "i", "2147483647"},
    {"Smallest", "(I11)", "-2147483648", "i", "-2147483648"},
    {"SmallestWithBlanks", "(I13)", "- 2147 483648", "i", "-2147483648"},
    {"WidthLimitsField", "(I3,I3)", "12345678", "i i", "123|456"},
    {"CommaEndsField", "(2I8)", "1,2", "i i", "1|2"},
    {"NextFieldBeginsAfterComma", "(I2,I2)", "1,23", "i i", "1|23"},
    {"CommaAfterBlanks", "(I4,I4)", "  ,5", "i i", "0|5"},
    {"CommaFirstInField", "(I2,I2,I2)", "12,34", "i i i", "12|0|34"},
    // The "#" form: radix, then digits of that radix; the sign applies last.
    {"RadixOmitted", "(I8)", "#ff", "i", "255"},
    {"LeadingZeroBeforeRadixMark", "(I8)", "0#1", "i", "1"},
    {"Binary", "(I8)", "2#101", "i", "5"},
    {"Base36BothCases", "(I8)", "36#zZ", "i", "1295"},
    {"NegativeRadixValue", "(I8)", "-16#10", "i", "-16"},
    {"UnsignedRangeWraps", "(I12)", "16#FFFFFFFF", "i", "-1"},
    {"TopBitSet", "(I12)", "16#80000000", "i", "-2147483648"},
    {"NegatedWrap", "(I12)", "-16#FFFFFFFF", "i", "1"},
    {"Radix10KeepsLimit", "(I13)", "10#2147483647", "i", "2147483647"},
};
INSTANTIATE_TEST_SUITE_P(Integer, ReadStatement, ::testing::ValuesIn(kIntegerCases),
                         caseName<ReadCase>);

const ReadCase kFixedCases[] = {
    {"ExplicitPoint", "(F5.2)", "56.78", "r", "56.78"},
    {"ImpliedDecimals", "(F5.2)", " 5678", "r", "56.78"},
    {"LeadingPointGetsZero", "(F5.2)", "  .50", "r", "0.5"},
    {"Negative", "(F5.2)", "-1.25", "r", "-1.25"},
    {"SingleDigitImplied", "(F5.2)", "    5", "r", "0.05"},
    {"PointAtEnd", "(F5.2)", "5.   ", "r", "5"},
    {"LeadingZerosCollected", "(F5.2)", "00050", "r", "0.5"},
    {"BlankField", "(F5.2)", "     ", "r", "0"},
    {"EmbeddedBlanks", "(F5.2)", "1 2.5", "r", "12.5"},
    {"TabsPassedOver", "(F5.2)", "\t1.5\t", "r", "1.5"},
    {"SignThenPoint", "(F5.2)", " -.5 ", "r", "-0.5"},
    {"ExponentLetter", "(F5.2)", "1.5E1", "r", "15"},
    {"ExponentLowerCase", "(F5.2)", "1.5e1", "r", "15"},
    {"ExponentD", "(F5.2)", "1.5D1", "r", "15"},
    {"ExponentLowerD", "(F5.2)", "1.5d1", "r", "15"},
    {"ExponentSignedLetter", "(F6.2)", "1.5E-1", "r", "0.15"},
    {"ExponentSignOnly", "(F5.2)", "1.5+1", "r", "15"},
    {"ExponentNegativeSignOnly", "(F5.2)", "1.5-1", "r", "0.15"},
    {"ExponentKeepsImpliedDecimals", "(F5.2)", " 15E1", "r", "1.5"},
    {"IntegerThenSignExponent", "(F5.2)", " 15+1", "r", "1.5"},
    {"NegativeZero", "(F5.2)", "-0.00", "r", "-0"},
    {"OnlyMinusIsNegativeZero", "(F5.2)", "    -", "r", "-0"},
    {"OnlyPlus", "(F5.2)", "    +", "r", "0"},
    {"OnlyPoint", "(F5.2)", "  .  ", "r", "0"},
    {"TwoSignsIsSignedZeroExponent", "(F5.2)", "--5  ", "r", "-0"},
    {"PointThenExponent", "(F5.2)", ".E5  ", "r", "0"},
    {"ZeroWithHugeExponent", "(F8.2)", "0E999999", "r", "0"},
    {"CommaEndsField", "(2F5.2)", "12,3", "r r", "0.12|0.03"},
    {"ShortLineGivesZero", "(F5.2,F5.2)", "1.5", "r r", "1.5|0"},
    {"FourDecimals", "(F5.2)", ".1234", "r", "0.1234"},
    {"EightDigitsImplied", "(F8.2)", "12345678", "r", "123456.78"},
    {"LargeDecimals", "(F3.30)", "123", "r", "1.23e-28"},
};
INSTANTIATE_TEST_SUITE_P(Fixed, ReadStatement, ::testing::ValuesIn(kFixedCases),
                         caseName<ReadCase>);

const ReadCase kTextCases[] = {
    {"AsWideAsItem", "(A)", "ABCDE", "t3", "[ABC]"},
    {"WiderFieldGivesRightmost", "(A5)", "ABCDE", "t2", "[DE]"},
    {"WiderFieldEndsInDroppedPart", "(A5)", "AB\nNEXT\n", "t2", "[  ] >NEXT"},
    {"WiderFieldEndsInTakenPart", "(A5)", "ABCD\nNEXT\n", "t2", "[D ] >NEXT"},
    {"NarrowerFieldPadsItem", "(A2,A2)", "ABCDE", "t5 t2", "[AB   ]|[CD]"},
    {"EveryByteKept", "(A6)", " ,\t\x1a\xff#", "t6", "[ ,\t\x1a\xff#]"},
    {"ZeroWidthIsItemWidth", "(A0,A1)", "ABC", "t2 t1", "[AB]|[C]"},
};
INSTANTIATE_TEST_SUITE_P(Text, ReadStatement, ::testing::ValuesIn(kTextCases), caseName<ReadCase>);

// ---------------------------------------------------------------------------
// Statements that end the process with a READ report.

struct FailCase {
    const char* name;
    std::string_view layout;
    std::string_view data;
    std::string_view items;
    std::string_view valuesBefore;  // the items assigned before the failure
    int number;
};

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.layout << " over " << printable(c.data) << ", items " << printable(c.items) << " -> "
        << printable(c.valuesBefore) << ", then report " << c.number;
}

class ReadFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(ReadFailure, ReportAndStatus) {
    const FailCase& c = GetParam();
    const StatementRun run = runStatement(c.layout, std::string(c.data), c.items);
    EXPECT_EQ(run.process.err, readReport(c.number));
    EXPECT_EQ(run.process.out, "");
    EXPECT_TRUE(run.process.ended);
    EXPECT_EQ(run.process.status, 1);
    EXPECT_EQ(run.values, std::string(c.valuesBefore) + " !") << "layout " << c.layout;
}

const FailCase kFieldFailures[] = {
    {"EndOfDataAtFirstField", "(I4)", "", "i", "", 6501},
    {"EndOfDataInSkip", "(64X,I4)", "", "i", "", 6501},
    {"EndOfDataWithoutItems", "(A)", "", "", "", 6501},
    {"CharacterTwentySixInInteger", "(I8)", "  1\x1a", "i", "", 6501},
    {"CharacterTwentySixInFixed", "(F5.2)", "1.\x1a", "r", "", 6501},
    {"CharacterTwentySixOutranksBadCharacter", "(I8)", "12a\x1a", "i", "", 6501},
    {"CharacterTwentySixOutranksBadForm", "(F5.2)", "1..\x1a", "r", "", 6501},
    {"IntegerTooLarge", "(I10)", "2147483648", "i", "", 6100},
    {"IntegerTooSmall", "(I11)", "-2147483649", "i", "", 6100},
    {"IntegerMuchTooLarge", "(I12)", "999999999999", "i", "", 6100},
    {"PlusSmallest", "(I11)", "+2147483648", "i", "", 6100},
    {"SmallestWithZeroAfterSign", "(I12)", "-02147483648", "i", "", 6100},
    {"RadixValueBeyond32Bits", "(I12)", "16#100000000", "i", "", 6100},
    {"Radix10BeyondLimit", "(I13)", "10#2147483648", "i", "", 6100},
    {"LetterAfterDigits", "(I8)", "     12a", "i", "", 6101},
    {"PointInInteger", "(I8)", "     1.5", "i", "", 6101},
    {"SignNotFirst", "(I8)", "     1-2", "i", "", 6101},
    {"TwoSigns", "(I8)", "     +-2", "i", "", 6101},
    {"DigitNotBelowRadix", "(I8)", "2#102", "i", "", 6101},
    {"LetterBeforeRadixMark", "(I8)", "A#1", "i", "", 6101},
    {"SecondRadixMark", "(I8)", "2#1#1", "i", "", 6302},
    {"RadixOneFirst", "(I8)", "1#2#3", "i", "", 6303},
    {"RadixZeroAfterSign", "(I8)", "+0#1", "i", "", 6303},
    {"RadixAbove36", "(I8)", "37#1", "i", "", 6303},
    {"OverflowBeforeBadCharacter", "(I12)", "99999999999a", "i", "", 6100},
    {"FixedBeyondDoubleRange", "(F8.2)", "1.0E400", "r", "", 6102},
    {"FixedTwoPoints", "(F5.2)", "1..5", "r", "", 6103},
    {"FixedTwoPointsApart", "(F5.2)", "1.2.3", "r", "", 6103},
    {"FixedLetter", "(F5.2)", "12a", "r", "", 6103},
    {"FixedExponentWithoutDigit", "(F5.2)", "E5", "r", "", 6103},
    {"FixedOnlyLetter", "(F5.2)", "x", "r", "", 6103},
    {"FixedExponentMarkAtEnd", "(F5.2)", "1.5E", "r", "", 6103},
    {"FixedExponentSignAtEnd", "(F5.2)", "1.5+", "r", "", 6103},
    {"FixedTwoExponentSigns", "(F6.2)", "1E+-1", "r", "", 6103},
    {"FixedPointInExponent", "(F6.2)", "1E1.5", "r", "", 6103},
    {"FixedRadixMark", "(F5.2)", "#12", "r", "", 6103},
    // A failure leaves the values before it assigned, and nothing after.
    {"SecondFieldFails", "(I4,I4,I4)", "   1  x2   3", "i i i", "1", 6101},
};
INSTANTIATE_TEST_SUITE_P(Fields, ReadFailure, ::testing::ValuesIn(kFieldFailures),
                         caseName<FailCase>);

const FailCase kLayoutFailures[] = {
    {"TextItemMeetsInteger", "(I4)", "1234", "t4", "", 6205},
    {"TextItemMeetsFixed", "(F4.1)", "1234", "t4", "", 6205},
    {"RealItemMeetsInteger", "(I4)", "1234", "r", "", 6206},
    {"IntegerItemMeetsFixed", "(F4.1)", "1234", "i", "", 6207},
    {"LiteralBeforeField", "('a',I4)", "1234", "i", "", 6509},
    {"LiteralAfterLastItem", "(I2,'a',I2)", "1234", "i", "12", 6509},
    {"LiteralAtStartOver", "(I2,'a')", "12\n34\n", "i i", "12", 6509},
    {"FaultAtFirstItem", "I4", "1234", "i", "", 6981},
    {"FaultWithoutItems", "I4", "1234", "", "", 6981},
    {"MissingWidthReached", "(I2,I)", "1234", "i i", "12", 6980},
    {"MissingWidthReachedByEnd", "(I2,1X,I)", "1234", "i", "12", 6980},
    {"NumberBeforeCloseReached", "(I2,5)", "1234", "i", "12", 6983},
    {"MissingPointReached", "(I2,F5)", "1234", "i i", "12", 6987},
    {"NotClosedReachedByEnd", "(I2,I2", "1234", "i i", "12|34", 6988},
    {"UnexpectedReachedByEnd", "(I2,,I2)", "1234", "i", "12", 6989},
    {"MinimumAboveWidthReached", "(I2,I2.3)", "1234", "i i", "12", 6990},
    {"NumberTooLargeReached", "(I2,9999999999X)", "1234", "i", "12", 6991},
};
INSTANTIATE_TEST_SUITE_P(Layouts, ReadFailure, ::testing::ValuesIn(kLayoutFailures),
                         caseName<FailCase>);

// A fault the walk never reaches is never raised.
TEST(ReadStatementFaults, FaultBeyondTheWalkIsHarmless) {
    const StatementRun run = runStatement("(I2,I2,Q)", "1234\nNEXT\n", "i");
    EXPECT_EQ(run.process.err, "");
    EXPECT_EQ(run.values, "12 >NEXT");
}

TEST(ReadReport, SpelledOut) {
    const StatementRun run = runStatement("(A)", "", "t2");
    EXPECT_EQ(run.process.err, "\r\nrun-time error F6501: READ(memory)\r\n- end of file\r\n");
    EXPECT_EQ(run.process.status, 1);
}

// ---------------------------------------------------------------------------
// Whole files: several statements in a row over one connection.

// The header line, the count line and three entry lines, read as the raw
// file reader reads them, then one entry read too many.
std::string readWholeFile(const std::string& data, std::uint32_t blockSize,
                          ProcessOutcome& outcome) {
    MemoryInput input(data, blockSize);
    std::string values;
    CapturedProcess process;
    outcome = process.run([&] {
        readItems(input.buffer(), "(A)", "t2", values);
        values += "\n";
        readItems(input.buffer(), "(64X,I4)", "i", values);
        for (;;) {
            values += "\n";
            readItems(input.buffer(), kEntryLayout, kEntryItems, values);
        }
    });
    return values;
}

const char* const kEntries[] = {
    "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15",
    "    1234      56 01 02 03.47 -04 05 06.8  0.2  12.36 0.12",
    "    1234      57 23 59 59.99 +89 59 59.9 10.0   9.99 1.00",
};
const char kExpectedFile[] =
    "[GS]\n"
    "3\n"
    "1234|56|1|2|3.45|[-]|4|5|6.7|0.3|12.34|0.15\n"
    "1234|56|1|2|3.47|[-]|4|5|6.8|0.2|12.36|0.12\n"
    "1234|57|23|59|59.99|[+]|89|59|59.9|10|9.99|1\n"
    " !";

// The file with every line ended by `lineEnd`, the last one too or not.
std::string joinLines(std::string_view lineEnd, bool lastLineEnd) {
    std::string data = "GSC region file";
    data += lineEnd;
    data += std::string(64, ' ') + "   3   entries";
    data += lineEnd;
    for (const char* entry : kEntries) (data += entry) += lineEnd;
    if (!lastLineEnd) data.resize(data.size() - lineEnd.size());
    return data;
}

struct FileCase {
    const char* name;
    const char* lineEnd;
    bool lastLineEnd;
    std::uint32_t blockSize;
};

void PrintTo(const FileCase& c, std::ostream* os) {
    *os << "lines ended by " << printable(c.lineEnd) << (c.lastLineEnd ? "" : " but the last")
        << ", read in blocks of " << c.blockSize;
}

class WholeFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(WholeFile, ReadsLikeEveryOtherForm) {
    const FileCase& c = GetParam();
    ProcessOutcome outcome;
    const std::string values =
        readWholeFile(joinLines(c.lineEnd, c.lastLineEnd), c.blockSize, outcome);
    EXPECT_EQ(values, kExpectedFile);
    EXPECT_EQ(outcome.err, readReport(6501));
    EXPECT_EQ(outcome.status, 1);
}

// Small blocks put every record boundary, CR LF pair and field across a block
// boundary somewhere.
const FileCase kFiles[] = {
    {"CrLf", "\r\n", true, 1024},
    {"Lf", "\n", true, 1024},
    {"CrLfLastLineBare", "\r\n", false, 1024},
    {"LfLastLineBare", "\n", false, 1024},
    {"CrLfOneByteBlocks", "\r\n", true, 1},
    {"LfLastLineBareOneByteBlocks", "\n", false, 1},
    {"CrLfSevenByteBlocks", "\r\n", true, 7},
    {"CrLfLastLineBareSixtyOneByteBlocks", "\r\n", false, 61},
};
INSTANTIATE_TEST_SUITE_P(Forms, WholeFile, ::testing::ValuesIn(kFiles), caseName<FileCase>);

TEST(WholeFileBlocks, RecordAcrossTwoBlocks) {
    // The first line fills bytes 0 to 998; the entry line's F5.2 field
    // "03.45" is cut after "03" by the end of the first block.
    std::string data(997, 'x');
    data += "\r\n";
    data += "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\nNEXT\r\n";
    ASSERT_EQ(data.substr(1024, 3), ".45");
    MemoryInput input(data, 1024);
    CapturedProcess process;
    std::string values;
    const ProcessOutcome outcome = process.run([&] {
        readItems(input.buffer(), "(A)", "t1", values);
        values += "\n";
        readItems(input.buffer(), kEntryLayout, kEntryItems, values);
        values += "\n";
        readItems(input.buffer(), "(A)", "t4", values);
    });
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(values, "[x]\n1234|56|1|2|3.45|[-]|4|5|6.7|0.3|12.34|0.15\n[NEXT]");
}

TEST(WholeFileBlocks, LineFeedAsLastByteOfBlockAddsNoLine) {
    // The data ends exactly at a block's end with its line feed: no further
    // line follows, the next read is the end of the file.
    std::string data(1023, 'y');
    data += '\n';
    const StatementRun run = runStatement("(A)", data, "t2", 1024);
    EXPECT_EQ(run.values, "[yy]");
    EXPECT_EQ(run.process.err, "");
}

// Text in memory whose refill fails after `goodBlocks` blocks.
struct FailingInput {
    std::string data;
    int goodBlocks;
    std::size_t position = 0;
    char block[16] = {};
    InputBuffer buffer{block, static_cast<std::uint32_t>(sizeof(block)), refill, this, "failing"};

    static std::ptrdiff_t refill(void* source, char* into, std::size_t capacity) {
        auto& self = *static_cast<FailingInput*>(source);
        if (self.goodBlocks-- == 0) return -1;
        const std::size_t count = std::min(capacity, self.data.size() - self.position);
        std::memcpy(into, self.data.data() + self.position, count);
        self.position += count;
        return static_cast<std::ptrdiff_t>(count);
    }
};

TEST(ReadFailureOfSystem, FailedRefillInsideRecord) {
    FailingInput input{"first line\nsecond line is longer\n", 1};
    CapturedProcess process;
    std::string values;
    const ProcessOutcome outcome = process.run([&] {
        readItems(input.buffer, "(A)", "t5", values);
        values += "\n";
        readItems(input.buffer, "(A)", "t20", values);
    });
    EXPECT_EQ(values, "[first]\n !");
    EXPECT_EQ(outcome.err, readReport(6500, "failing"));
    EXPECT_EQ(outcome.status, 1);
}

TEST(ReadFailureOfSystem, FailedFirstRead) {
    FailingInput input{"data\n", 0};
    CapturedProcess process;
    std::string values;
    const ProcessOutcome outcome =
        process.run([&] { readItems(input.buffer, "(I4)", "i", values); });
    EXPECT_EQ(values, " !");
    EXPECT_EQ(outcome.err, readReport(6500, "failing"));
}

// ---------------------------------------------------------------------------
// Joining a block's unread end to the next block: the read made early is the
// one the statement makes on reaching the block's end, so afterwards the
// statements read, report and refill exactly as without the join.

struct JoinCase {
    const char* name;
    std::string_view data;  // read in 5-byte blocks; a first line, then the rest
    std::uint32_t carry;
    int goodBlocks;  // refills after these fail; -1: none fails
    bool joined;
    std::string_view unreadAfterJoin;
    std::string_view values;  // two "(A)" statements after the join
    int refillsAtEnd;
    int errorNumber;  // 0: none
};

void PrintTo(const JoinCase& c, std::ostream* os) {
    *os << printable(c.data) << ", carry " << c.carry << ", good blocks " << c.goodBlocks << " -> "
        << (c.joined ? "joined, " : "not joined, ") << "unread " << printable(c.unreadAfterJoin)
        << ", values " << printable(c.values) << ", " << c.refillsAtEnd << " refills, report "
        << c.errorNumber;
}

class JoinNextBlock : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinNextBlock, ReadsAsWithoutTheJoin) {
    const JoinCase& c = GetParam();
    MemoryInput input(std::string(c.data), 5, c.carry);
    if (c.goodBlocks >= 0) input.failAfterBlocks(c.goodBlocks);
    CapturedProcess process;
    std::string values;
    const ProcessOutcome outcome = process.run([&] {
        std::string first;
        readItems(input.buffer(), "(A)", "t1", first);
        ASSERT_EQ(first, "[x]");
        ASSERT_EQ(input.refills(), 1);
        EXPECT_EQ(input.buffer().extendWindow(), c.joined);
        EXPECT_EQ(std::string_view(input.buffer().unreadBytes(), input.buffer().unreadCount()),
                  c.unreadAfterJoin);
        readItems(input.buffer(), "(A)", "t8", values);
        values += "|";
        readItems(input.buffer(), "(A)", "t4", values);
    });
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(input.refills(), c.refillsAtEnd);
    EXPECT_EQ(outcome.err, c.errorNumber == 0 ? "" : readReport(c.errorNumber));
}

const JoinCase kJoins[] = {
    {"JoinsTheNextBlock", "x\nabcdef\nrest\n", 8, -1, true, "abcdef\nr", "[abcdef  ]|[rest]", 3, 0},
    {"TooLongForTheCarry", "x\nabcdef\nrest\n", 2, -1, false, "abc", "[abcdef  ]|[rest]", 3, 0},
    {"NoCarryRoom", "x\nabcdef\nrest\n", 0, -1, false, "abc", "[abcdef  ]|[rest]", 3, 0},
    // The failed read is reported only when a byte past "abc" is wanted, and
    // not read again.
    {"ReadFails", "x\nabcdef\nrest\n", 8, 1, false, "abc", " !", 2, 6500},
    // The last line's missing line feed is supplied by the join; the end of
    // the data is then reported without another read.
    {"DataEndsWithoutLineFeed", "x\nabc", 8, -1, true, "abc\n", "[abc     ]| !", 2, 6501},
    {"DataEndsWithLineFeed", "xxxx\n", 8, -1, false, "", " !", 2, 6501},
};
INSTANTIATE_TEST_SUITE_P(Joins, JoinNextBlock, ::testing::ValuesIn(kJoins), caseName<JoinCase>);

// ---------------------------------------------------------------------------
// A connected unit: the report names its file.

TEST(ConnectedUnit, EndOfFileAndReadFailureNameTheFile) {
    testing::TempDir dir;
    testing::writeFile("lines.txt", "12\r\n34");
    CapturedProcess process;
    std::string values;
    ProcessOutcome outcome = process.run([&] {
        openUnit(3, "lines.txt   ", "OLD");
        InputBuffer& input = findUnit(3)->input;
        for (;;) {
            readItems(input, "(I2)", "i", values);
            values += "|";
        }
    });
    EXPECT_EQ(values, "12|34| !");
    EXPECT_EQ(outcome.err, readReport(6501, "lines.txt"));
    EXPECT_EQ(outcome.status, 1);
}

TEST(ConnectedUnit, SystemReadFailure) {
    testing::TempDir dir;
    testing::writeFile("lines.txt", "12\r\n");
    CapturedProcess process;
    process.calls().readFile = [](platform::FileHandle, char*, std::size_t) -> std::ptrdiff_t {
        return -1;
    };
    const ProcessOutcome outcome = process.run([&] {
        openUnit(3, "lines.txt", "OLD");
        std::string values;
        readItems(findUnit(3)->input, "(I2)", "i", values);
    });
    EXPECT_EQ(outcome.err, readReport(6500, "lines.txt"));
    EXPECT_EQ(outcome.status, 1);
}

}  // namespace
}  // namespace gscmerge::textio
