// The typed write statement against the general layout walk: for every
// layout and every item, in range or not, `writeRecord` over a compiled
// layout must give the same bytes in the same writes as an OutputStatement
// given the same items, whether it places the record straight from the
// layout's plan or leaves it to the walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/write_items.h"
#include "textio/layout.h"
#include "textio/output.h"
#include "textio/output_buffer.h"
#include "textio/process.h"
#include "textio/record_statements.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace {

using testing::MemoryFile;

void put(OutputStatement& write, std::int32_t item) {
    write.putInteger(item);
}
void put(OutputStatement& write, double item) {
    write.putReal(item);
}
void put(OutputStatement& write, char item) {
    write.putText(&item, 1);
}
void put(OutputStatement& write, std::string_view item) {
    write.putText(item.data(), static_cast<std::int32_t>(item.size()));
}
// Exact units are written as the double nearest their value, which the C
// library finds from the decimal text.
template <std::int32_t kDecimals>
void put(OutputStatement& write, FixedUnits<kDecimals> item) {
    const std::string text = std::to_string(item.units) + "e-" + std::to_string(kDecimals);
    write.putReal(std::strtod(text.c_str(), nullptr));
}

// A digit pair is its tens and units, as two integers.
void put(OutputStatement& write, DigitPair item) {
    write.putInteger(item.value / 10);
    write.putInteger(item.value % 10);
}

// The writes of both ways, for records written one after another into one
// file each.
struct BothWays {
    MemoryFile typed;
    MemoryFile walked;

    template <class Layout, class... Items>
    void write(const Items&... items) {
        static constexpr Layout kLayout{};
        writeRecord(typed.buffer, "memory", kLayout, items...);
        OutputStatement statement(walked.buffer, "memory", Layout::layout);
        (put(statement, items), ...);
        statement.endWrite();
    }

    void finish() {
        typed.buffer.flushWaiting();
        walked.buffer.flushWaiting();
    }
};

std::string joined(const std::vector<std::string>& writes) {
    std::string all;
    for (const std::string& write : writes) all += write;
    return all;
}

using StarLayout = CompiledLayout<
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)">;

// ---------------------------------------------------------------------------
// Records of both ways.

struct RecordCase {
    const char* label;
    void (*write)(BothWays&);
    const char* bytes;
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.label << ": \"" << c.bytes << "\"";
}

class SameRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(SameRecord, AsTheLayoutWalk) {
    const RecordCase& c = GetParam();
    BothWays both;
    c.write(both);
    both.finish();
    EXPECT_EQ(joined(both.walked.writes), c.bytes);
    EXPECT_EQ(joined(both.typed.writes), c.bytes);
}

template <LayoutText kText, auto... kItems>
void items(BothWays& both) {
    both.write<CompiledLayout<kText>>(kItems...);
}

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Items, SameRecord,
    ::testing::Values(
        RecordCase{"Star",
                   [](BothWays& both) {
                       both.write<StarLayout>(1234, 56, 0, 1, 0, 2, 0, 3, 0.45, '-', 0, 4, 0, 5, 0,
                                              6, 0.7, 12.34);
                   },
                   "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n"},
        RecordCase{"IntegersTooWideOrNegative",
                   items<"(I3,'|',I3,'|',I3,'|',I1,'|',I2,'|',I4)", -99, -100, 1000, -1, 10, -999>,
                   "-99|***|***|*|10|-999\r\n"},
        RecordCase{"IntegerExtremes", items<"(I11,'|',I11,'|',I10,'|',I4)", kMin, kMax, kMin, kMin>,
                   "-2147483648| 2147483647|**********|****\r\n"},
        RecordCase{"MinimumDigits", items<"(I5.3,'|',I4.3,'|',I3.3,'|',I3.3)", -7, -7, 0, -1>,
                   " -007|-007|000|***\r\n"},
        RecordCase{"FixedTooWideAndRoundedToZero",
                   items<"(F3.2,'|',F4.1,'|',F4.2)", 9.999, -0.04, -0.125>, "***|  .0|-.13\r\n"},
        RecordCase{"SingleDigitsInWiderFields", items<"(I3,'|',I2.1,'|',I2,'|',I1)", 7, 0, -5, 10>,
                   "  7| 0|-5|*\r\n"},
        RecordCase{"FourDigitsAndFewer",
                   items<"(I4,'|',I4,'|',I4,'|',I2,'|',I2)", 0, 9999, 10000, 99, 100>,
                   "   0|9999|****|99|**\r\n"},
        RecordCase{"FixedPointShortFormAndBeyond",
                   items<"(F6.0,'|',F12.9,'|',F13.10,'|',F20.1)", 2.5, -5e-10, 0.123, 1e17>,
                   "    3.| -.000000001|  .1230000000|100000000000000000.0\r\n"},
        RecordCase{
            "FixedPointTies",
            items<"(F5.2,'|',F5.2,'|',F3.0,'|',F8.3,'|',F5.2)", 0.125, 2.675, 0.2, -0.0005, -0.005>,
            "  .13| 2.67| 0.|   -.001| -.01\r\n"},
        // Exact units: the digits as they are, the same asterisks, no minus
        // sign on zero; a field wider than the straight placing takes the walk.
        RecordCase{"ExactUnits",
                   items<"(F3.2,'|',F2.1,'|',F3.0,'|',F5.2,'|',F4.3,'|',F3.2,'|',F2.1)",
                         FixedUnits<2>{45}, FixedUnits<1>{9}, FixedUnits<0>{-7}, FixedUnits<2>{-5},
                         FixedUnits<3>{999}, FixedUnits<2>{100}, FixedUnits<1>{0}>,
                   ".45|.9|-7.| -.05|.999|***|.0\r\n"},
        RecordCase{"ExactUnitsExtremes",
                   items<"(F12.0,'|',F13.3,'|',F20.2,'|',F4.1)", FixedUnits<0>{kMin},
                         FixedUnits<3>{kMax}, FixedUnits<2>{kMin}, FixedUnits<1>{-0}>,
                   "-2147483648.|  2147483.647|        -21474836.48|  .0\r\n"},
        // Digit pairs: both digits from the table, side by side or apart,
        // and beyond it what the tens and units give.
        RecordCase{"DigitPairs",
                   items<"(2I1,'|',I1,1X,I1,'|',2I1,'|',2I1,'|',2I1,'|',2I1)", DigitPair{7},
                         DigitPair{47}, DigitPair{99}, DigitPair{100}, DigitPair{-5},
                         DigitPair{kMin}>,
                   "07|4 7|99|*0|0*|**\r\n"},
        RecordCase{"DigitPairAcrossRecords", items<"(1X,I1)", DigitPair{12}>, " 1\r\n 2\r\n"},
        RecordCase{"TextShorterAndLonger",
                   [](BothWays& both) {
                       both.write<CompiledLayout<"(A3,'|',A2,'|',A1)">>(
                           std::string_view("a"), std::string_view("abc"), '+');
                   },
                   "  a|ab|+\r\n"},
        // The layout's plan: blanks owed at the end are dropped, literals
        // after them place them, doubled delimiters are one.
        RecordCase{"SkipAtTheEnd", items<"(I2,3X)", 5>, " 5\r\n"},
        RecordCase{"SkipBeforeALiteral", items<"(I2,3X,'|')", 5>, " 5   |\r\n"},
        RecordCase{"SkipBeforeAnEmptyLiteral", items<"(I2,3X,'')", 5>, " 5\r\n"},
        RecordCase{"DoubledDelimiter", items<"('it''s',I1)", 3>, "it's3\r\n"},
        RecordCase{"RepeatsAndZeroDecimals", items<"(3I2.2,F4.0)", 1, 2, 3, 4.5>, "010203  5.\r\n"},
        // Layouts the plan does not take: the walk's.
        RecordCase{"WidthlessText",
                   [](BothWays& both) {
                       both.write<CompiledLayout<"(I4,A)">>(12, std::string_view("abc"));
                   },
                   "  12abc\r\n"},
        RecordCase{"ZeroWithoutDigits", items<"(I4.0,'|')", 0>, "    |\r\n"},
        RecordCase{"WiderThanThePlan", items<"(I4,120X,I1)", 1, 2>,
                   "   1                                                                        "
                   "                                                2\r\n"},
        // Statements the plan does not fit: the walk's.
        RecordCase{"FewerItems", items<"(I2,' end',I2,'never')", 7>, " 7 end\r\n"},
        RecordCase{"MoreItemsStartOver", items<"(1X,A1)", 'a', 'b'>, " a\r\n b\r\n"},
        RecordCase{
            "EmptyTextAtTheEnd",
            [](BothWays& both) { both.write<CompiledLayout<"(A1,A4)">>('a', std::string_view()); },
            "a\r\n"},
        RecordCase{"EmptyTextFirst",
                   [](BothWays& both) {
                       both.write<CompiledLayout<"(A1,'|',A2)">>(std::string_view(), 'b');
                   },
                   " | b\r\n"},
        RecordCase{"NoItems", items<"('x',I2,'y')">, "x\r\n"},
        RecordCase{"MoreItemsAfterAFullRecord", items<"(I2,F4.1)", 5, 2.25, -3, -0.06>,
                   " 5 2.3\r\n-3 -.1\r\n"}),
    [](const ::testing::TestParamInfo<RecordCase>& row) { return std::string(row.param.label); });

// What must not compile: items of the wrong kind, a temporary layout, items
// that are not one of the item kinds, a general statement over a temporary.
template <class Layout, class... Items>
concept Writable = requires(OutputBuffer& buffer, const Layout& layout, const Items&... items) {
    writeRecord(buffer, "memory", layout, items...);
};
template <class... Items>
concept WritableFromTemporary = requires(OutputBuffer& buffer, const Items&... items) {
    writeRecord(buffer, "memory", compileLayout<"(I4,F5.2,A1)">(), items...);
};
using ThreeKinds = CompiledLayout<"(I4,F5.2,A1)">;
static_assert(Writable<ThreeKinds, std::int32_t, double, char>);
static_assert(Writable<ThreeKinds, std::int32_t, double, std::string_view>);
static_assert(!Writable<ThreeKinds, double, double, char>);
static_assert(!Writable<ThreeKinds, std::int32_t, std::int32_t, char>);
static_assert(!Writable<ThreeKinds, std::int32_t, double, char[2]>);
static_assert(!Writable<ThreeKinds, std::int32_t, double, char, double>);  // meets the I again
static_assert(!Writable<ThreeKinds, std::int64_t, double, char>);
static_assert(!Writable<ThreeKinds, std::int32_t, float, char>);
// Exact units only for an F field with their number of decimals.
static_assert(Writable<ThreeKinds, std::int32_t, FixedUnits<2>, char>);
static_assert(!Writable<ThreeKinds, std::int32_t, FixedUnits<1>, char>);
static_assert(!Writable<ThreeKinds, FixedUnits<0>, double, char>);
// A digit pair only for two I1 fields (the second may be the first met again).
static_assert(Writable<CompiledLayout<"(2I1,F3.1)">, DigitPair, double>);
static_assert(Writable<CompiledLayout<"(I1)">, DigitPair>);
static_assert(Writable<CompiledLayout<"(I1.1,I1)">, DigitPair>);
static_assert(!Writable<CompiledLayout<"(I1,I2)">, DigitPair>);
static_assert(!Writable<CompiledLayout<"(I1,I1.0)">, DigitPair>);
static_assert(!Writable<CompiledLayout<"(2I1,F3.1)">, DigitPair, DigitPair>);
static_assert(!Writable<CompiledLayout<"(2I1,F3.1)">, std::int32_t, DigitPair>);
static_assert(!WritableFromTemporary<std::int32_t, double, char>);
static_assert(
    !std::is_constructible_v<OutputStatement, OutputBuffer&, const char*, RecordLayout&&>);
static_assert(!std::is_constructible_v<OutputStatement, UnitConnection&, RecordLayout&&>);

// ---------------------------------------------------------------------------
// Random records, values in range and far out of it, written one after
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

TEST(SameRandomRecords, StarRecords) {
    std::mt19937_64 random(20260);
    BothWays both;
    const char signs[] = {'+', '-', ' ', 'x'};
    for (int r = 0; r < 20000; ++r) {
        std::int32_t n[14];
        for (std::int32_t& value : n) value = randomInteger(random);
        both.write<StarLayout>(n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], randomReal(random),
                               signs[random() % 4], n[8], n[9], n[10], n[11], n[12], n[13],
                               randomReal(random), randomReal(random));
    }
    both.finish();
    ASSERT_EQ(joined(both.typed.writes).size(), joined(both.walked.writes).size());
    EXPECT_EQ(both.typed.writes, both.walked.writes);  // the same bytes in the same writes
}

// Star records as the writer gives them for positions of the sky, digit
// pairs and exact units, with values in range and far out of it; and pairs
// of fields that are not side by side.
TEST(SameRandomRecords, DigitPairs) {
    std::mt19937_64 random(4747);
    BothWays both;
    const auto pair = [&random] {
        return DigitPair{random() % 2 == 0 ? static_cast<std::int32_t>(random() % 100)
                                           : randomInteger(random)};
    };
    for (int r = 0; r < 20000; ++r) {
        const std::int32_t region = randomInteger(random);
        const std::int32_t number = randomInteger(random);
        const DigitPair ra[3] = {pair(), pair(), pair()};
        const FixedUnits<2> hundredths{randomInteger(random)};
        const DigitPair dec[3] = {pair(), pair(), pair()};
        const FixedUnits<1> tenths{randomInteger(random)};
        both.write<StarLayout>(region, number, ra[0], ra[1], ra[2], hundredths,
                               random() % 2 == 0 ? '+' : '-', dec[0], dec[1], dec[2], tenths,
                               randomReal(random));
        both.write<CompiledLayout<"(I1,1X,I1,I1,'|',I1,2I1)">>(pair(), pair(), pair());
    }
    both.finish();
    EXPECT_EQ(both.typed.writes, both.walked.writes);
}

// Fixed-point fields of every width and decimals the straight placing
// handles, and wider ones beside them.
TEST(SameRandomRecords, FixedPointFields) {
    std::mt19937_64 random(1212);
    BothWays both;
    for (int r = 0; r < 20000; ++r) {
        double v[10];
        for (double& value : v) value = randomReal(random);
        both.write<CompiledLayout<"(F2.1,F3.2,F5.2,F4.0,F8.3,F16.3,F16.1,F17.3)">>(
            v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]);
        both.write<CompiledLayout<"(F60.40,'|',F25.24)">>(v[8], v[9]);
    }
    both.finish();
    EXPECT_EQ(both.typed.writes, both.walked.writes);
}

// The doubles next to every half of the last decimal, for 0 to 3 decimals:
// where the rounding to 17 significant digits decides whether the half is
// reached.
TEST(SameRandomRecords, NextToTiesOfTheLastDecimal) {
    BothWays both;
    for (std::int32_t k = 0; k < 20000; ++k) {
        double v[4][5];
        for (int d = 0; d <= 3; ++d) {
            const double half = (2.0 * k + 1.0) / (2.0 * std::pow(10.0, d));
            double below = half;
            double above = half;
            v[d][0] = half;
            for (int step = 1; step <= 2; ++step) {
                below = std::nextafter(below, 0.0);
                above = std::nextafter(above, 1e300);
                v[d][2 * step - 1] = below;
                v[d][2 * step] = k % 2 == 0 ? above : -above;
            }
        }
        both.write<CompiledLayout<"(5F16.0)">>(v[0][0], v[0][1], v[0][2], v[0][3], v[0][4]);
        both.write<CompiledLayout<"(5F16.1)">>(v[1][0], v[1][1], v[1][2], v[1][3], v[1][4]);
        both.write<CompiledLayout<"(5F16.2)">>(v[2][0], v[2][1], v[2][2], v[2][3], v[2][4]);
        both.write<CompiledLayout<"(5F16.3)">>(v[3][0], v[3][1], v[3][2], v[3][3], v[3][4]);
    }
    both.finish();
    EXPECT_EQ(both.typed.writes, both.walked.writes);
}

// Exact units of every count of decimals, around zero and the extremes, in
// fields they fit and fields they do not.
TEST(SameRandomRecords, ExactUnits) {
    std::mt19937_64 random(45);
    BothWays both;
    for (int r = 0; r < 20000; ++r) {
        std::int32_t n[8];
        for (std::int32_t& value : n) value = randomInteger(random);
        both.write<CompiledLayout<"(F3.2,F2.1,F5.2,F4.0,F8.3,F16.3,F12.1,F17.3)">>(
            FixedUnits<2>{n[0]}, FixedUnits<1>{n[1]}, FixedUnits<2>{n[2]}, FixedUnits<0>{n[3]},
            FixedUnits<3>{n[4]}, FixedUnits<3>{n[5]}, FixedUnits<1>{n[6]}, FixedUnits<3>{n[7]});
    }
    for (std::int32_t units = -1200; units <= 1200; ++units) {
        both.write<CompiledLayout<"(F3.2,F2.1,F4.3,F3.0)">>(
            FixedUnits<2>{units}, FixedUnits<1>{units}, FixedUnits<3>{units}, FixedUnits<0>{units});
    }
    both.finish();
    EXPECT_EQ(both.typed.writes, both.walked.writes);
}

// A real value given as the units `roundToUnits` finds for it shows as the
// value itself does, and only values whose units do not fit are refused.
TEST(SameRandomRecords, RealsAsTheirRoundedUnits) {
    using Layout = CompiledLayout<"(F16.0,F5.2,F16.1,F16.2,F16.3)">;
    static constexpr Layout kLayout{};
    std::mt19937_64 random(7);
    MemoryFile asUnits;
    MemoryFile asReals;
    int refused = 0;
    for (int r = 0; r < 20000; ++r) {
        double v = randomReal(random);
        if (r % 4 == 0 && std::fabs(v) < 1e200) v = std::ldexp(v, 30);  // units beyond 32 bits
        FixedUnits<0> u0;
        FixedUnits<2> u2;
        FixedUnits<1> u1;
        FixedUnits<3> u3;
        if (!roundToUnits(v, &u0) || !roundToUnits(v, &u2) || !roundToUnits(v, &u1) ||
            !roundToUnits(v, &u3)) {
            EXPECT_GT(std::fabs(v), 2147483.647 * 0.999) << v;
            ++refused;
            continue;
        }
        writeRecord(asUnits.buffer, "memory", kLayout, u0, u2, u1, u2, u3);
        OutputStatement statement(asReals.buffer, "memory", Layout::layout);
        for (int f = 0; f < 5; ++f) statement.putReal(v);
        statement.endWrite();
    }
    asUnits.buffer.flushWaiting();
    asReals.buffer.flushWaiting();
    EXPECT_GT(refused, 1000);
    EXPECT_EQ(asUnits.writes, asReals.writes);
    FixedUnits<2> none;
    EXPECT_FALSE(roundToUnits(std::numeric_limits<double>::infinity(), &none));
    EXPECT_FALSE(roundToUnits(-std::numeric_limits<double>::quiet_NaN(), &none));
    EXPECT_TRUE(roundToUnits(21474836.47, &none));
    EXPECT_EQ(none.units, 2147483647);
    EXPECT_FALSE(roundToUnits(21474836.475, &none));
    EXPECT_TRUE(roundToUnits(-0.004, &none));
    EXPECT_EQ(none.units, 0);
}

TEST(SameRandomRecords, IntegerFields) {
    std::mt19937_64 random(99);
    BothWays both;
    for (int r = 0; r < 20000; ++r) {
        std::int32_t n[8];
        for (std::int32_t& value : n) value = randomInteger(random);
        both.write<CompiledLayout<"(I1,I2,I3,I4,I4.2,I5,I11,I1.1)">>(n[0], n[1], n[2], n[3], n[4],
                                                                     n[5], n[6], n[7]);
    }
    both.finish();
    EXPECT_EQ(both.typed.writes, both.walked.writes);
}

// ---------------------------------------------------------------------------
// Whole files: records reach the file in whole buffers, and a run that
// stops keeps the complete records, and only those.

TEST(WriteRecord, RecordsWrittenBeforeAStopStayWhole) {
    const testing::TempDir dir;
    testing::CapturedProcess process;
    const testing::ProcessOutcome outcome = process.run([] {
        static constexpr auto kLayout = compileLayout<"('GSC',1X,I4,F5.2,A1)">();
        openUnit(2, "n0001.g12", "REPLACE");
        writeRecord(*findUnit(2), kLayout, 1, 2.5, '+');
        writeRecord(*findUnit(2), kLayout, 2, 3.5, '-');
        // A general statement with every item put, but not executed.
        OutputStatement statement(*findUnit(2), CompiledLayout<"('GSC',1X,I4,F5.2,A1)">::layout);
        statement.putInteger(3);
        statement.putReal(4.5);
        statement.putText("+", 1);
        stopProgram();
    });
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "Stop - Program terminated.\r\n");
    EXPECT_EQ(testing::readFile("n0001.g12"), "GSC    1 2.50+\r\nGSC    2 3.50-\r\n");
}

}  // namespace
}  // namespace gscmerge::textio
