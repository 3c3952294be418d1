// Records placed straight from a flattened layout against the same records
// placed by the general layout walk: the bytes must be the same for every
// item, in range or not, and a statement the plan does not fit must fall
// back to the walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/write_items.h"
#include "textio/layout.h"
#include "textio/output.h"
#include "textio/output_buffer.h"
#include "textio/termination.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace {

using testing::integer;
using testing::Item;
using testing::kStarLayout;
using testing::MemoryFile;
using testing::putItems;
using testing::real;
using testing::text;

void writeStatement(MemoryFile& file, const RecordLayout& layout, const OutputPlan* plan,
                    const std::vector<Item>& items) {
    auto put = [&](OutputStatement& statement) {
        putItems(statement, items);
        statement.endWrite();
    };
    if (plan != nullptr) {
        OutputStatement statement(file.buffer, "memory", layout, *plan);
        put(statement);
    } else {
        OutputStatement statement(file.buffer, "memory", layout);
        put(statement);
    }
}

// The writes of both paths for a sequence of statements.
struct BothPaths {
    std::vector<std::string> walked;
    std::vector<std::string> planned;
};

BothPaths writeBoth(const std::string& layoutText, const std::vector<std::vector<Item>>& records) {
    const RecordLayout layout = parseLayout(layoutText);
    const OutputPlan plan = planOutput(layout);
    MemoryFile walked;
    MemoryFile planned;
    for (const std::vector<Item>& items : records) {
        writeStatement(walked, layout, nullptr, items);
        writeStatement(planned, layout, &plan, items);
    }
    walked.buffer.flushWaiting();
    planned.buffer.flushWaiting();
    return {walked.writes, planned.writes};
}

std::string joined(const std::vector<std::string>& writes) {
    std::string all;
    for (const std::string& write : writes) all += write;
    return all;
}


// ---------------------------------------------------------------------------
// Which layouts the plan takes, and the record length it announces.

struct PlanCase {
    const char* layout;
    bool usable;
    std::int32_t fields;
    std::int32_t length;
    friend std::ostream& operator<<(std::ostream& out, const PlanCase& c) {
        return out << c.layout;
    }
};

class Plan : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plan, TakesOnlyLayoutsWhoseFieldsAlwaysFillTheirWidth) {
    const PlanCase& c = GetParam();
    const OutputPlan plan = planOutput(parseLayout(c.layout));
    EXPECT_EQ(plan.usable, c.usable);
    if (!c.usable) return;
    EXPECT_EQ(plan.count, c.fields);
    EXPECT_EQ(plan.length, c.length);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, Plan,
    ::testing::Values(PlanCase{kStarLayout.c_str(), true, 18, 43},
                      PlanCase{"(I2,3X)", true, 1, 2},        // an owed skip at the end is dropped
                      PlanCase{"(I2,3X,'|')", true, 1, 6},    // a literal after it places it
                      PlanCase{"(I2,3X,'')", true, 1, 2},     // an empty literal does not
                      PlanCase{"('it''s',I1)", true, 1, 5},   // a doubled delimiter is one
                      PlanCase{"(3I2.2,F4.0)", true, 4, 10},  // repeats, minimum digits
                      PlanCase{"(I4,A)", false, 0, 0},        // A as wide as its item
                      PlanCase{"(I4.0)", false, 0, 0},        // I with m = 0: 0 places nothing
                      PlanCase{"('text')", false, 0, 0},      // no field
                      PlanCase{"(I4,200X,I1)", false, 0, 0},  // wider than the plan holds
                      PlanCase{"(33I1)", false, 0, 0}));      // more fields than it holds

// ---------------------------------------------------------------------------
// Records of both paths.

struct RecordCase {
    const char* label;
    const char* layout;
    std::vector<Item> items;
    const char* bytes;
    friend std::ostream& operator<<(std::ostream& out, const RecordCase& c) {
        return out << c.label;
    }
};

class SameRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(SameRecord, AsTheLayoutWalk) {
    const RecordCase& c = GetParam();
    const BothPaths both = writeBoth(c.layout, {c.items});
    EXPECT_EQ(joined(both.walked), c.bytes);
    EXPECT_EQ(joined(both.planned), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Items, SameRecord,
    ::testing::Values(
        RecordCase{"Star",
                   kStarLayout.c_str(),
                   {integer(1234), integer(56), integer(0), integer(1), integer(0), integer(2),
                    integer(0), integer(3), real(0.45), text("-"), integer(0), integer(4),
                    integer(0), integer(5), integer(0), integer(6), real(0.7), real(12.34)},
                   "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n"},
        RecordCase{"IntegersTooWideOrNegative",
                   "(I3,'|',I3,'|',I3,'|',I1,'|',I2)",
                   {integer(-99), integer(-100), integer(1000), integer(-1), integer(10)},
                   "-99|***|***|*|10\r\n"},
        RecordCase{"IntegerExtremes",
                   "(I11,'|',I11,'|',I10)",
                   {integer(std::numeric_limits<std::int32_t>::min()),
                    integer(std::numeric_limits<std::int32_t>::max()),
                    integer(std::numeric_limits<std::int32_t>::min())},
                   "-2147483648| 2147483647|**********\r\n"},
        RecordCase{"MinimumDigits",
                   "(I5.3,'|',I4.3,'|',I3.3,'|',I3.3)",
                   {integer(-7), integer(-7), integer(0), integer(-1)},
                   " -007|-007|000|***\r\n"},
        RecordCase{"FixedTooWideAndRoundedToZero",
                   "(F3.2,'|',F4.1,'|',F4.2)",
                   {real(9.999), real(-0.04), real(-0.125)},
                   "***|  .0|-.13\r\n"},
        RecordCase{"SingleDigitsInWiderFields",
                   "(I3,'|',I2.1,'|',I2,'|',I1)",
                   {integer(7), integer(0), integer(-5), integer(10)},
                   "  7| 0|-5|*\r\n"},
        RecordCase{"FixedPointShortFormAndBeyond",
                   "(F6.0,'|',F12.9,'|',F13.10,'|',F20.1)",
                   {real(2.5), real(-5e-10), real(0.123), real(1e17)},
                   "    3.| -.000000001|  .1230000000|100000000000000000.0\r\n"},
        RecordCase{"TextShorterAndLonger",
                   "(A3,'|',A2,'|',A1)",
                   {text("a"), text("abc"), text("+")},
                   "  a|ab|+\r\n"},
        // The walk's fallbacks: the plan does not fit these statements.
        RecordCase{"FewerItems", "(I2,' end',I2,'never')", {integer(7)}, " 7 end\r\n"},
        RecordCase{"MoreItemsStartOver", "(1X,A1)", {text("a"), text("b")}, " a\r\n b\r\n"},
        RecordCase{"EmptyTextAtTheEnd", "(A1,A4)", {text("a"), text("")}, "a\r\n"},
        RecordCase{"EmptyTextFirst", "(A1,'|',A2)", {text(""), text("b")}, " | b\r\n"},
        RecordCase{"NoItems", "('x',I2,'y')", {}, "x\r\n"},
        RecordCase{"MoreItemsAfterAFullRecord",
                   "(I2,F4.1)",
                   {integer(5), real(2.25), integer(-3), real(-0.06)},
                   " 5 2.3\r\n-3 -.1\r\n"}));

// ---------------------------------------------------------------------------
// Random star records, values in range and far out of it, written one after
// another so that records also straddle the block ends.

double randomReal(std::mt19937_64& random) {
    std::uniform_int_distribution<int> shape(0, 7);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    switch (shape(random)) {
        case 0:
            return unit(random);
        case 1:
            return -unit(random) * 100.0;
        case 2:
            // Ties of the last decimal and the carries they cause.
            return static_cast<double>(std::uniform_int_distribution<int>(0, 2000)(random)) /
                   1000.0;
        case 3:
            return static_cast<double>(std::uniform_int_distribution<int>(-300, 300)(random)) * 0.1;
        case 4: {
            std::uint64_t bits = random();
            double value = 0.0;
            std::memcpy(&value, &bits, sizeof(value));
            // Finite only, told by the bits: arithmetic on an infinity or a
            // NaN would raise a floating-point flag, which the writer treats
            // as a trap.
            return ((bits >> 52) & 0x7FF) != 0x7FF ? value : 0.5;
        }
        case 5:
            return std::ldexp(unit(random), std::uniform_int_distribution<int>(-80, 80)(random));
        case 6:
            return 0.995 + (unit(random) - 0.5) * 1e-12;
        default:
            return unit(random) < 0.5 ? 0.0 : -0.0;
    }
}

std::int32_t randomInteger(std::mt19937_64& random) {
    switch (std::uniform_int_distribution<int>(0, 3)(random)) {
        case 0:
            return std::uniform_int_distribution<std::int32_t>(0, 9)(random);
        case 1:
            return std::uniform_int_distribution<std::int32_t>(-120, 120)(random);
        case 2:
            return std::uniform_int_distribution<std::int32_t>(-99999, 99999)(random);
        default:
            return static_cast<std::int32_t>(static_cast<std::uint32_t>(random()));
    }
}

TEST(SameStarRecords, OnRandomItemsInAndOutOfRange) {
    std::mt19937_64 random(20260);
    std::vector<std::vector<Item>> records;
    const char* signs[] = {"+", "-", " ", "x"};
    for (int r = 0; r < 20000; ++r) {
        std::vector<Item> items;
        items.push_back(integer(randomInteger(random)));
        items.push_back(integer(randomInteger(random)));
        for (int i = 0; i < 6; ++i) items.push_back(integer(randomInteger(random)));
        items.push_back(real(randomReal(random)));
        items.push_back(text(signs[random() % 4]));
        for (int i = 0; i < 6; ++i) items.push_back(integer(randomInteger(random)));
        items.push_back(real(randomReal(random)));
        items.push_back(real(randomReal(random)));
        records.push_back(std::move(items));
    }
    const BothPaths both = writeBoth(kStarLayout, records);
    ASSERT_EQ(joined(both.planned).size(), joined(both.walked).size());
    EXPECT_EQ(both.planned, both.walked);  // the same bytes in the same writes
}

// Wide fixed-point fields: digits, zeros beyond them, zeros after the point,
// and values that only just fit or do not.
TEST(SameFixedPointRecords, InWideFields) {
    std::mt19937_64 random(1212);
    std::vector<std::vector<Item>> records;
    for (int r = 0; r < 20000; ++r) {
        std::vector<Item> items;
        for (int i = 0; i < 4; ++i) items.push_back(real(randomReal(random)));
        records.push_back(std::move(items));
    }
    const BothPaths both = writeBoth("(F60.40,'|',F30.0,'|',F12.5,'|',F25.24)", records);
    EXPECT_EQ(both.planned, both.walked);
}

// ---------------------------------------------------------------------------
// Statements that leave the plan part-way: the items placed by the plan so
// far must reach the walk as they were put, so that the record, or the
// report of the item that does not suit its field, is the walk's.

struct Outcome {
    testing::ProcessOutcome process;
    std::vector<std::string> writes;
};

Outcome writeCaptured(const RecordLayout& layout, const OutputPlan* plan,
                      const std::vector<Item>& items) {
    MemoryFile file;
    testing::CapturedProcess process;
    Outcome outcome;
    outcome.process = process.run([&] { writeStatement(file, layout, plan, items); });
    file.buffer.flushWaiting();
    outcome.writes = file.writes;
    return outcome;
}

std::string describe(const std::vector<Item>& items) {
    std::string all;
    for (const Item& item : items) {
        switch (item.kind) {
            case Item::Kind::Integer:
                all += "I" + std::to_string(item.integer) + " ";
                break;
            case Item::Kind::Real:
                all += "R" + std::to_string(item.real) + " ";
                break;
            case Item::Kind::Text:
                all += "T'" + item.text + "' ";
                break;
        }
    }
    return all;
}

TEST(SameOffPlanStatements, RecordsAndReportsAsTheWalk) {
    const RecordLayout layout = parseLayout(kStarLayout);
    const OutputPlan plan = planOutput(layout);
    std::mt19937_64 random(6);
    int reports = 0;
    for (int r = 0; r < 1500; ++r) {
        std::vector<Item> items;
        for (int i = 0; i < 8; ++i) items.push_back(integer(randomInteger(random)));
        items.push_back(real(randomReal(random)));
        items.push_back(text("-"));
        for (int i = 0; i < 6; ++i) items.push_back(integer(randomInteger(random)));
        items.push_back(real(randomReal(random)));
        items.push_back(real(randomReal(random)));
        // Leave the plan at a random item: a wrong kind, an empty text, too
        // few or too many items.
        const auto at = static_cast<std::size_t>(random() % items.size());
        switch (random() % 5) {
            case 0:
                items[at] = items[at].kind == Item::Kind::Integer ? real(0.5) : integer(7);
                break;
            case 1:
                items[at] = text(random() % 2 == 0 ? "" : "ab");
                break;
            case 2:
                items.resize(at);
                break;
            case 3:
                items.insert(items.end(), items.begin(), items.begin() + static_cast<long>(at));
                break;
            default:
                items[9] = text("");
                break;
        }
        const Outcome walked = writeCaptured(layout, nullptr, items);
        const Outcome planned = writeCaptured(layout, &plan, items);
        SCOPED_TRACE(describe(items));
        ASSERT_EQ(planned.writes, walked.writes);
        ASSERT_EQ(planned.process.err, walked.process.err);
        ASSERT_EQ(planned.process.out, walked.process.out);
        ASSERT_EQ(planned.process.ended, walked.process.ended);
        ASSERT_EQ(planned.process.status, walked.process.status);
        if (walked.process.ended) ++reports;
    }
    // Both the records and the reports were exercised.
    EXPECT_GT(reports, 100);
    EXPECT_LT(reports, 1400);
}

// A planned statement places its items as they are put, but only into the
// record it stages: ended before endWrite, it leaves nothing in the file.
TEST(PlannedStatement, UnfinishedWritesNothing) {
    const testing::TempDir dir;
    testing::CapturedProcess process;
    const testing::ProcessOutcome outcome = process.run([] {
        static constexpr RecordLayout kLayout = parseLayout("('GSC',1X,I4,F5.2,A1)");
        static constexpr OutputPlan kPlan = planOutput(kLayout);
        openUnit(2, "n0001.g12", "REPLACE");
        {
            OutputStatement statement(*findUnit(2), kLayout, kPlan);
            statement.putInteger(1);
            statement.putReal(2.5);
            statement.putText("+", 1);
            statement.endWrite();
        }
        OutputStatement statement(*findUnit(2), kLayout, kPlan);
        statement.putInteger(2);
        statement.putReal(3.5);
        statement.putText("-", 1);  // every item placed, the record not ended
        stopProgram();
    });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "Stop - Program terminated.\r\n");
    EXPECT_EQ(testing::readFile("n0001.g12"), "GSC    1 2.50+\r\n");
}

}  // namespace
}  // namespace gscmerge::textio
