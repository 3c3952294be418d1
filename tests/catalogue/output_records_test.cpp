// The sexagesimal split and the 43-column star records of an output file.
#include "catalogue/output_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iomanip>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"
#include "tests/support/printable.h"
#include "tests/support/temp_dir.h"

namespace gscmerge::catalogue {
namespace {

using testing::CapturedProcess;
using testing::ProcessOutcome;
using testing::readFile;
using testing::TempDir;

// Writes the stars of `stars` from `entries` to an output file and returns
// the file's bytes.
std::string writtenFile(const StarTable& stars, const EntryTable& entries) {
    TempDir dir;
    CapturedProcess process;
    const char name[12] = {'s', 't', 'a', 'r', 's', '.', 'g', '1', '2', ' ', ' ', ' '};
    const ProcessOutcome outcome = process.run([&] { writeOutputFile(name, stars, entries); });
    EXPECT_FALSE(outcome.ended);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "");
    return readFile("stars.g12");
}

struct Region {
    std::unique_ptr<EntryTable> entries = std::make_unique<EntryTable>();
    std::unique_ptr<StarTable> stars = std::make_unique<StarTable>();

    // A star of one entry.
    void addStar(const RawEntry& entry) {
        const std::int32_t m = ++entries->entryCount;
        entries->entry(m) = entry;
        stars->star(++stars->starCount) = Star{m, m};
    }
};

// The record of a single star, without its line end.
std::string recordOf(const RawEntry& entry) {
    Region region;
    region.addStar(entry);
    const std::string bytes = writtenFile(*region.stars, *region.entries);
    EXPECT_EQ(bytes.size(), 45u);
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    return bytes.substr(0, bytes.size() - 2);
}

RawEntry entryAt(RaUnits ra, DecUnits dec) {
    return RawEntry{.id = 12340056,
                    .ra = ra,
                    .dec = dec,
                    .posError = 0.3,
                    .magTimes10 = 123.4,
                    .magError = 0.1};
}

TEST(WriteOutputFile, ExampleRecord) {
    EXPECT_EQ(recordOf(entryAt(5585175, -1470670)), "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34");
}

TEST(WriteOutputFile, PositionAndMagnitudeMayComeFromDifferentEntries) {
    Region region;
    region.entries->entryCount = 3;
    region.entries->entry(1) = entryAt(0, 0);
    region.entries->entry(2) =
        RawEntry{.id = 3210099, .ra = 5445000, .dec = -180000, .magTimes10 = 99.0};
    region.entries->entry(3) = RawEntry{.id = 3210001, .ra = 1500, .dec = 95, .magTimes10 = 57.5};
    region.stars->starCount = 2;
    region.stars->star(1) = Star{2, 3};
    region.stars->star(2) = Star{1, 1};
    EXPECT_EQ(writtenFile(*region.stars, *region.entries),
              "GSC  321:  99 01 00 30.00 -00 30 00.0  5.75\r\n"
              "GSC 1234:  56 00 00 00.00 +00 00 00.0 12.34\r\n");
}

TEST(WriteOutputFile, NoStarsGiveAnEmptyFile) {
    Region region;
    region.addStar(entryAt(1, 1));  // left over from an earlier region
    region.stars->starCount = 0;
    EXPECT_EQ(writtenFile(*region.stars, *region.entries), "");
}

TEST(WriteOutputFile, ManyStarsReachTheFileWhole) {
    // 1000 records of 45 bytes span many 1024-byte blocks.
    Region region;
    std::string expected;
    for (std::int32_t j = 0; j < 1000; ++j) {
        region.addStar(entryAt(1500 * (j % 60), 0));
        expected += "GSC 1234:  56 00 00 " + std::string(j % 60 < 10 ? "0" : "") +
                    std::to_string(j % 60) + ".00 +00 00 00.0 12.34\r\n";
    }
    EXPECT_EQ(writtenFile(*region.stars, *region.entries), expected);
}

struct IdCase {
    StarId id;
    const char* written;  // columns 1-13
};

void PrintTo(const IdCase& c, std::ostream* os) {
    *os << c.id << " -> " << testing::printable(c.written);
}

class StarIdTest : public ::testing::TestWithParam<IdCase> {};

TEST_P(StarIdTest, SplitsIntoRegionAndNumber) {
    RawEntry entry = entryAt(0, 0);
    entry.id = GetParam().id;
    EXPECT_EQ(recordOf(entry).substr(0, 13), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Ids, StarIdTest,
                         ::testing::Values(IdCase{12340056, "GSC 1234:  56"},
                                           IdCase{93529999, "GSC 9352:9999"},
                                           IdCase{56, "GSC    0:  56"},
                                           IdCase{10000, "GSC    1:   0"},
                                           // Truncating division keeps the number's sign.
                                           IdCase{-1230056, "GSC -123: -56"},
                                           // Too wide for I4: asterisks, not an error.
                                           IdCase{123450001, "GSC ****:   1"}),
                         [](const ::testing::TestParamInfo<IdCase>& row) {
                             return testing::valueName("Id" + std::to_string(row.param.id));
                         });

struct MagnitudeCase {
    double magTimes10;
    const char* written;  // columns 39-43
};

void PrintTo(const MagnitudeCase& c, std::ostream* os) {
    *os << std::setprecision(17) << c.magTimes10 << " -> " << testing::printable(c.written);
}

class MagnitudeTest : public ::testing::TestWithParam<MagnitudeCase> {};

TEST_P(MagnitudeTest, IsTenthOfTheStoredValue) {
    RawEntry entry = entryAt(0, 0);
    entry.magTimes10 = GetParam().magTimes10;
    EXPECT_EQ(recordOf(entry).substr(38), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(Magnitudes, MagnitudeTest,
                         ::testing::Values(MagnitudeCase{123.4, "12.34"},  // 12.340000000000002
                                           MagnitudeCase{5.0, "  .50"},
                                           MagnitudeCase{-15.0, "-1.50"},
                                           MagnitudeCase{0.0, "  .00"},
                                           MagnitudeCase{1000.0, "*****"}),
                         [](const ::testing::TestParamInfo<MagnitudeCase>& row) {
                             std::ostringstream text;
                             text << "Tenths" << row.param.magTimes10;
                             return testing::valueName(text.str());
                         });

// Right ascension: units, the text of columns 15-25, and the fraction of a
// second that splitRa hands to the F3.2 field.
struct RaCase {
    RaUnits units;
    const char* written;
    double fraction;
};

void PrintTo(const RaCase& c, std::ostream* os) {
    *os << c.units << " -> " << testing::printable(c.written) << ", fraction "
        << std::setprecision(17) << c.fraction;
}

class SplitRaTest : public ::testing::TestWithParam<RaCase> {};

TEST_P(SplitRaTest, Fraction) {
    EXPECT_EQ(splitRa(GetParam().units).fraction, GetParam().fraction);
}

TEST_P(SplitRaTest, WrittenDigits) {
    EXPECT_EQ(recordOf(entryAt(GetParam().units, 0)).substr(14, 11), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitRaTest,
    ::testing::Values(
        RaCase{5585175, "01 02 03.45", 0.44999996304977685}, RaCase{0, "00 00 00.00", 0.0},
        // Whole seconds arrive just below themselves; the carry restores them.
        RaCase{1500, "00 00 01.00", 0.0}, RaCase{5445000, "01 00 30.00", 0.0},
        // Either side of the carry threshold.
        RaCase{1492, "00 00 00.99", 0.9946666560135782}, RaCase{1493, "00 00 01.00", 0.0},
        RaCase{434, "00 00 00.29", 0.2893333302345127},
        // Carries into the minutes, the hours, and the tens of hours.
        RaCase{89992, "00 00 59.99", 0.9946660241112113}, RaCase{89993, "00 01 00.00", 0.0},
        RaCase{10799996, "02 00 00.00", 0.0}, RaCase{53999999, "10 00 00.00", 0.0},
        RaCase{107999999, "20 00 00.00", 0.0},
        // 24 hours reached by a carry is 00 hours; 24 hours held is written.
        RaCase{129599999, "00 00 00.00", 0.0}, RaCase{129600000, "24 00 00.00", 0.0},
        // The wrap only ends a chain that reached the hours ...
        RaCase{129601499, "24 00 01.00", 0.0},
        // ... and only from 23 to 24 hours.
        RaCase{134999999, "25 00 00.00", 0.0},
        // Digits no valid position has reach the one-digit fields as they are.
        RaCase{540000000, "*0 00 00.00", 0.0}, RaCase{-1, "00 00 00.00", -0.0006666666595265269},
        RaCase{-1500, "00 00 00***", -0.9999999892897904},
        RaCase{-2147483647 - 1, "** *0 *****", -0.7653327360749245}),
    [](const ::testing::TestParamInfo<RaCase>& row) {
        return testing::valueName("Units" + std::to_string(row.param.units));
    });

// The integer forms take exactly the positions of the sky; beyond them the
// splits give the record (the rows above show both).
TEST(RoundedForms, TakeOnlyThePositionsOfTheSky) {
    RoundedRa ra;
    RoundedDec dec;
    for (const RaUnits units : {0, 129599999}) EXPECT_TRUE(roundRa(units, &ra)) << units;
    for (const RaUnits units : {-1, 129600000, -2147483647 - 1, 2147483647}) {
        EXPECT_FALSE(roundRa(units, &ra)) << units;
    }
    for (const DecUnits units : {32400000, -32400000}) EXPECT_TRUE(roundDec(units, &dec)) << units;
    for (const DecUnits units : {32400001, -32400001, -2147483647 - 1, 2147483647}) {
        EXPECT_FALSE(roundDec(units, &dec)) << units;
    }
}

struct DecCase {
    DecUnits units;
    const char* written;  // columns 27-37
    double fraction;
};

void PrintTo(const DecCase& c, std::ostream* os) {
    *os << c.units << " -> " << testing::printable(c.written) << ", fraction "
        << std::setprecision(17) << c.fraction;
}

class SplitDecTest : public ::testing::TestWithParam<DecCase> {};

TEST_P(SplitDecTest, Fraction) {
    EXPECT_EQ(splitDec(GetParam().units).fraction, GetParam().fraction);
}

TEST_P(SplitDecTest, WrittenSignAndDigits) {
    EXPECT_EQ(recordOf(entryAt(0, GetParam().units)).substr(26, 11), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SplitDecTest,
    ::testing::Values(
        DecCase{-1470670, "-04 05 06.7", 0.69999985024333}, DecCase{0, "+00 00 00.0", 0.0},
        DecCase{-180000, "-00 30 00.0", 0.0}, DecCase{229, "+00 00 02.3", 0.2899999488145113},
        // Either side of the carry threshold.
        DecCase{95, "+00 00 00.9", 0.9499999787658453}, DecCase{1299, "+00 00 13.0", 0.0},
        // Exact halves of a tenth round down.
        DecCase{15, "+00 00 00.1", 0.14999999664723873},
        DecCase{5, "+00 00 00.0", 0.04999999888241291},
        DecCase{5995, "+00 00 59.9", 0.9499986600130796}, DecCase{5996, "+00 01 00.0", 0.0},
        // Carries into the degrees and the tens of degrees; no wrap at 90.
        DecCase{3599996, "+10 00 00.0", 0.0}, DecCase{32399999, "+90 00 00.0", 0.0},
        DecCase{32400000, "+90 00 00.0", 0.0}, DecCase{-32400000, "-90 00 00.0", 0.0},
        // The sign is that of the units, even when the digits round to zero.
        DecCase{-4, "-00 00 00.0", 0.03999999910593033}, DecCase{36000000, "+*0 00 00.0", 0.0},
        // |INT32_MIN| stays negative: every digit is too wide, without a fault.
        DecCase{-2147483647 - 1, "-** ** ****", -0.47999873757362366}),
    [](const ::testing::TestParamInfo<DecCase>& row) {
        return testing::valueName("Units" + std::to_string(row.param.units));
    });

}  // namespace
}  // namespace gscmerge::catalogue
