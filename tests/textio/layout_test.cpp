// Layout texts parsed into descriptors, and the cursor's walk through them.
#include "textio/layout.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>

#include "tests/support/case_name.h"
#include "tests/support/printable.h"

namespace gscmerge::textio {
namespace {

using testing::caseName;
using testing::printable;

// ---------------------------------------------------------------------------
// The program's own layouts, pinned at compile time.

struct Expected {
    DescriptorKind kind;
    std::int32_t repeat = 1;
    std::int32_t width = 0;
    std::int32_t digits = 1;
    std::string_view text = {};
};

template <std::size_t N>
constexpr bool parsesTo(std::string_view text, const Expected (&expected)[N]) {
    const RecordLayout layout = parseLayout(text);
    if (layout.count != static_cast<std::int32_t>(N)) return false;
    for (std::size_t i = 0; i < N; ++i) {
        const FieldDescriptor& d = layout.descriptors[i];
        const Expected& e = expected[i];
        if (d.kind != e.kind) return false;
        if (d.kind == DescriptorKind::Literal) {
            if (std::string_view(d.text, static_cast<std::size_t>(d.textLength)) != e.text) {
                return false;
            }
            continue;
        }
        if (d.kind == DescriptorKind::LayoutEnd) continue;
        if (d.width != e.width) return false;
        if (d.isData() && (d.repeat != e.repeat || d.digits != e.digits)) return false;
    }
    return true;
}

constexpr DescriptorKind kI = DescriptorKind::IntegerField;
constexpr DescriptorKind kF = DescriptorKind::FixedPointField;
constexpr DescriptorKind kA = DescriptorKind::CharacterField;
constexpr DescriptorKind kX = DescriptorKind::Skip;
constexpr DescriptorKind kLit = DescriptorKind::Literal;
constexpr DescriptorKind kEnd = DescriptorKind::LayoutEnd;

static_assert(parsesTo("(A)", {{kA, 1, 0}, {kEnd}}));
static_assert(parsesTo("(A2, 8A1)", {{kA, 1, 2}, {kA, 8, 1}, {kEnd}}));
static_assert(parsesTo("(12A1)", {{kA, 12, 1}, {kEnd}}));
static_assert(parsesTo("(64X,I4)", {{kX, 1, 64}, {kI, 1, 4, 1}, {kEnd}}));
static_assert(parsesTo("(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)",
                       {{kI, 2, 8},    {kX, 1, 1},    {kI, 1, 2},    {kX, 1, 1},    {kI, 1, 2},
                        {kX, 1, 1},    {kF, 1, 5, 2}, {kX, 1, 1},    {kA, 1, 1},    {kI, 1, 2},
                        {kX, 1, 1},    {kI, 1, 2},    {kX, 1, 1},    {kF, 1, 4, 1}, {kX, 1, 1},
                        {kF, 1, 4, 1}, {kX, 1, 2},    {kF, 1, 5, 2}, {kX, 1, 1},    {kF, 1, 4, 2},
                        {kEnd}}));
static_assert(
    parsesTo("('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)",
             {{kLit, 1, 0, 1, "GSC"},
              {kX, 1, 1},
              {kI, 1, 4},
              {kLit, 1, 0, 1, ":"},
              {kI, 1, 4},
              {kX, 1, 1},
              {kI, 2, 1},
              {kX, 1, 1},
              {kI, 2, 1},
              {kX, 1, 1},
              {kI, 2, 1},
              {kF, 1, 3, 2},
              {kX, 1, 1},
              {kA, 1, 1},
              {kI, 2, 1},
              {kX, 1, 1},
              {kI, 2, 1},
              {kX, 1, 1},
              {kI, 2, 1},
              {kF, 1, 2, 1},
              {kX, 1, 1},
              {kF, 1, 5, 2},
              {kEnd}}));

// ---------------------------------------------------------------------------
// Parsing at run time: each descriptor rendered as written ("2I8.1", "64X",
// "A" for A without width, "'it''s'"), "END" for the end and "!nnnn" for a
// fault marker.

std::string render(const RecordLayout& layout) {
    std::string out;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& d = layout.descriptors[i];
        if (!out.empty()) out += ' ';
        if (d.isData() && d.repeat != 1) out += std::to_string(d.repeat);
        switch (d.kind) {
            case DescriptorKind::IntegerField:
                out += "I" + std::to_string(d.width) + "." + std::to_string(d.digits);
                break;
            case DescriptorKind::FixedPointField:
                out += "F" + std::to_string(d.width) + "." + std::to_string(d.digits);
                break;
            case DescriptorKind::CharacterField:
                out += "A" + (d.width == 0 ? std::string() : std::to_string(d.width));
                break;
            case DescriptorKind::Skip:
                out += std::to_string(d.width) + "X";
                break;
            case DescriptorKind::Literal:
                out += d.delimiter + std::string(d.text, static_cast<std::size_t>(d.textLength)) +
                       d.delimiter;
                break;
            case DescriptorKind::LayoutEnd:
                out += "END";
                break;
            case DescriptorKind::Fault:
                out += "!" + std::to_string(d.errorNumber);
                break;
        }
    }
    return out;
}

struct ParseCase {
    const char* name;
    std::string_view text;
    const char* expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << printable(c.text) << " -> " << printable(c.expected);
}

class ParseLayout : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseLayout, Descriptors) {
    EXPECT_EQ(render(parseLayout(GetParam().text)), GetParam().expected)
        << "layout: " << GetParam().text;
}

// Valid texts: every form of the grammar, and what blanks, tabs, case and
// optional commas do to it.
const ParseCase kValidLayouts[] = {
    {"BlanksBetweenDigits", "( 6 4X , i 4 )", "64X I4.1 END"},
    {"TabsIgnored", "\t(\t64\tX,\tI4)", "64X I4.1 END"},
    {"LowerCase", "(2i8,f5.2,a1,a,x)", "2I8.1 F5.2 A1 A 1X END"},
    {"CommaMayBeLeftOut", "(I4I4 A2'x'3X)", "I4.1 I4.1 A2 'x' 3X END"},
    // Digits run on across a blank even into the next descriptor's count.
    {"BlankDoesNotEndNumber", "(2I8 1X)", "2I81.1 1X END"},
    {"MinimumDigits", "(I8.3,I8.8,I4.0)", "I8.3 I8.8 I4.0 END"},
    {"ZeroCounts", "(0X,I0,F0.0,A0)", "0X I0.1 F0.0 A END"},
    {"LargestNumber", "(2147483647X,I2147483647)", "2147483647X I2147483647.1 END"},
    {"LeadingZerosInNumbers", "(0003I0004)", "3I4.1 END"},
    {"LiteralsInBothQuotes", "('it''s',\"a\"\"b\",'say \"hi\"')",
     "'it''s' \"a\"\"b\" 'say \"hi\"' END"},
    {"LiteralKeepsBlanksAndCase", "(' a  B ')", "' a  B ' END"},
    {"EmptyLiterals", "('',\"\")", "'' \"\" END"},
    {"OnlyDoubledDelimiter", "('''')", "'''' END"},
    {"TextAfterCloseIgnored", "(I4) ,Q('", "I4.1 END"},
    {"EmptyLayout", "()", "END"},
};
INSTANTIATE_TEST_SUITE_P(Valid, ParseLayout, ::testing::ValuesIn(kValidLayouts),
                         caseName<ParseCase>);

// Faulty texts: the descriptors before the faulty place stay, the marker takes
// that place, and nothing after it is parsed.
const ParseCase kFaultyLayouts[] = {
    {"EmptyText", "", "!6981"},
    {"OnlyBlanks", "  \t ", "!6981"},
    {"NoOpeningParenthesis", "I4)", "!6981"},
    {"SomethingBeforeParenthesis", "x(I4)", "!6981"},
    {"CommaAfterOpen", "(,I4)", "!6989"},
    {"TwoCommas", "(I4,,I4)", "I4.1 !6989"},
    {"UnknownLetter", "(I4,Q4)", "I4.1 !6989"},
    {"Slash", "(I4/I4)", "I4.1 !6989"},
    {"InnerGroup", "(2(I4))", "!6989"},
    {"Sign", "(I4,-1X)", "I4.1 !6989"},
    {"NumberBeforeLiteral", "(I4,5'a')", "I4.1 !6983"},
    {"NumberBeforeComma", "(I4,5,I4)", "I4.1 !6983"},
    {"NumberBeforeClose", "(I4,5)", "I4.1 !6983"},
    {"IWithoutWidth", "(A1,I)", "A1 !6980"},
    {"IPointWithoutDigits", "(I4.)", "!6980"},
    {"IWidthIsLetter", "(IX)", "!6980"},
    {"FWithoutWidth", "(F.2)", "!6980"},
    {"FWithoutDecimals", "(F5.)", "!6980"},
    {"FWithoutPoint", "(A2,F52)", "A2 !6987"},
    {"FWithoutPointAtEnd", "(F5)", "!6987"},
    {"MinimumAboveWidth", "(I2,I4.5)", "I2.1 !6990"},
    {"LiteralNotClosed", "(I4,'abc)", "I4.1 !6988"},
    {"LiteralEndsInDoubledDelimiter", "('ab''", "!6988"},
    {"LayoutNotClosed", "(I4,A2", "I4.1 A2 !6988"},
    {"LayoutEndsAfterComma", "(I4,", "I4.1 !6988"},
    {"LayoutEndsAfterNumber", "(I4,12", "I4.1 !6988"},
    {"OnlyOpening", "(", "!6988"},
    {"RepeatTooLarge", "(2147483648I4)", "!6991"},
    {"SkipTooLarge", "(I4,99999999999X)", "I4.1 !6991"},
    {"WidthTooLarge", "(I2147483648)", "!6991"},
    {"MinimumTooLarge", "(I4.2147483648)", "!6991"},
    {"DecimalsTooLarge", "(F5.2147483648)", "!6991"},
    {"CharacterWidthTooLarge", "(A2147483648)", "!6991"},
};
INSTANTIATE_TEST_SUITE_P(Faulty, ParseLayout, ::testing::ValuesIn(kFaultyLayouts),
                         caseName<ParseCase>);

TEST(ParseLayoutCapacity, NinetyFiveDescriptorsFitWithTheirEnd) {
    std::string text = "(";
    for (int i = 0; i < RecordLayout::kCapacity - 1; ++i) text += "1X,";
    text += ")";
    const RecordLayout layout = parseLayout(text);
    ASSERT_EQ(layout.count, RecordLayout::kCapacity);
    EXPECT_EQ(layout.descriptors[RecordLayout::kCapacity - 1].kind, DescriptorKind::LayoutEnd);

    text.insert(1, "'x'");
    const RecordLayout tooLong = parseLayout(text);
    ASSERT_EQ(tooLong.count, RecordLayout::kCapacity);
    EXPECT_EQ(tooLong.descriptors[RecordLayout::kCapacity - 2].kind, DescriptorKind::Skip);
    EXPECT_EQ(tooLong.descriptors[RecordLayout::kCapacity - 1].kind, DescriptorKind::Fault);
    EXPECT_EQ(tooLong.descriptors[RecordLayout::kCapacity - 1].errorNumber, 6700);
}

// ---------------------------------------------------------------------------
// The walk. The trace shows each item's descriptor ("I4", with "+n" when n
// columns of skip are pending for it), each literal met, "/" where the layout
// starts over, ";" where the items run out, and "!nnnn" for a fault raised.

struct WalkFault {
    int number;
};

struct TraceActions {
    std::string& trace;
    void literal(const FieldDescriptor& d) {
        trace += " '" + std::string(d.text, static_cast<std::size_t>(d.textLength)) + "'";
    }
    void restart() { trace += " /"; }
    [[noreturn]] void fault(int number) { throw WalkFault{number}; }
};

std::string walk(std::string_view layoutText, int items) {
    const RecordLayout layout = parseLayout(layoutText);
    LayoutCursor cursor(layout);
    std::string trace;
    TraceActions actions{trace};
    try {
        for (int i = 0; i < items; ++i) {
            const FieldDescriptor& d = cursor.nextDataDescriptor(actions);
            trace += " ";
            if (cursor.pendingSkip != 0) trace += "+" + std::to_string(cursor.pendingSkip);
            trace += d.kind == DescriptorKind::IntegerField      ? "I"
                     : d.kind == DescriptorKind::FixedPointField ? "F"
                                                                 : "A";
            trace += std::to_string(d.width);
            // The statement passes over the skip before its field.
            cursor.pendingSkip = 0;
        }
        trace += " ;";
        cursor.finishLayout(actions);
        if (cursor.pendingSkip != 0) trace += " skip left over";
    } catch (const WalkFault& fault) {
        trace += " !" + std::to_string(fault.number);
    }
    return trace.empty() ? trace : trace.substr(1);
}

struct WalkCase {
    const char* name;
    std::string_view layout;
    int items;
    const char* expected;
};

void PrintTo(const WalkCase& c, std::ostream* os) {
    *os << printable(c.layout) << " with " << c.items << " items -> " << printable(c.expected);
}

class Walk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(Walk, Trace) {
    EXPECT_EQ(walk(GetParam().layout, GetParam().items), GetParam().expected)
        << "layout: " << GetParam().layout << ", items: " << GetParam().items;
}

const WalkCase kWalks[] = {
    {"SkipBeforeField", "(64X,I4)", 1, "+64I4 ;"},
    {"SkipsAddUp", "(2X,X,3X,A1)", 1, "+6A1 ;"},
    {"RepeatUsesSameDescriptor", "(2I8,1X,I2)", 3, "I8 I8 +1I2 ;"},
    {"ItemsRunOutInsideRepeat", "(3I2,'a',I4)", 1, "I2 ;"},
    {"FinishRunsToNextDataDescriptor", "(I2,1X,'a',X,'b',I4,'c')", 1, "I2 ; 'a' 'b'"},
    {"FinishRunsToEnd", "(I2,'a',3X)", 1, "I2 ; 'a'"},
    {"FinishDropsTrailingSkip", "(I2,5X)", 1, "I2 ;"},
    {"NoItemsStopsAtFirstField", "('a',A,'b')", 0, "; 'a'"},
    {"NoItemsNoData", "(2X,'a')", 0, "; 'a'"},
    {"StartsOverAtEnd", "(I4)", 3, "I4 / I4 / I4 ;"},
    {"StartOverDropsPendingSkip", "(I4,2X)", 2, "I4 / I4 ;"},
    {"StartOverMeetsLeadingLiteral", "('h',A2,1X)", 2, "'h' A2 / 'h' A2 ;"},
    {"RepeatCountsAgainAfterStartOver", "(2A1)", 3, "A1 A1 / A1 ;"},
    {"FaultBeforeFirstField", "(Q)", 1, "!6989"},
    {"FaultNotReached", "(I4,I4,Q)", 1, "I4 ;"},
    {"FaultReachedByItem", "(I4,X,F5)", 2, "I4 !6987"},
    {"FaultReachedByFinish", "(I4,1X,'a',Q)", 1, "I4 ; 'a' !6989"},
    {"FaultReachedByFinishWithoutItems", "I4", 0, "; !6981"},
    {"UnclosedReachedByFinish", "(I4", 1, "I4 ; !6988"},
    {"UnclosedNotReachedInsideRepeat", "(2I4", 1, "I4 ;"},
    // A layout without any data descriptor cannot take an item: the walk
    // must not go round for ever.
    {"NoDataDescriptorForItem", "(2X,'a')", 1, "'a' / 'a' !6989"},
};
INSTANTIATE_TEST_SUITE_P(Cursor, Walk, ::testing::ValuesIn(kWalks), caseName<WalkCase>);

}  // namespace
}  // namespace gscmerge::textio
