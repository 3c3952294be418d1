// Encoding of right ascension and declination read from an entry line.
#include "catalogue/raw_region.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <ostream>
#include <string>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"

namespace gscmerge::catalogue {
namespace {

// The double nearest a field's decimal text, as the entry reader produces it.
double nearest(const char* text) {
    return std::strtod(text, nullptr);
}

struct RaCase {
    std::int32_t hours;
    std::int32_t minutes;
    const char* seconds;
    RaUnits expected;
};

void PrintTo(const RaCase& c, std::ostream* os) {
    *os << c.hours << " h " << c.minutes << " min " << c.seconds << " s -> " << c.expected;
}

// "1h2m3_45s"
std::string raName(const ::testing::TestParamInfo<RaCase>& info) {
    const RaCase& c = info.param;
    return testing::valueName(std::to_string(c.hours) + "h" + std::to_string(c.minutes) + "m" +
                              c.seconds + "s");
}

class EncodeRaTest : public ::testing::TestWithParam<RaCase> {};

TEST_P(EncodeRaTest, GivesTheTruncatedUnits) {
    const RaCase& c = GetParam();
    EXPECT_EQ(encodeRa(c.hours, c.minutes, nearest(c.seconds)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, EncodeRaTest,
    ::testing::Values(RaCase{1, 2, "3.45", 5585175}, RaCase{0, 0, "0.0", 0},
                      RaCase{0, 0, "1.00", 1500},
                      // 0.29 x 1500.0 rounds to 434.99999999999994: one unit below.
                      RaCase{0, 0, "0.29", 434}, RaCase{23, 59, "59.99", 129599985},
                      RaCase{24, 0, "0.0", 129600000},
                      // 1.999 lies below its text: 2998.4999... truncates to 2998.
                      RaCase{0, 0, "1.999", 2998},
                      // Negative hours and seconds are arithmetic, not errors.
                      RaCase{-1, 0, "0.0", -5400000}, RaCase{1, 0, "-0.01", 5399985},
                      // Outside the data model the 32-bit values wrap: the product
                      // keeps the low 32 bits of its 64-bit truncation ...
                      RaCase{400000, 0, "0", -368549888},
                      // ... and (hours x 60 + minutes) x 60 wraps before the sum.
                      RaCase{1000000, 0, "0", 1226108928}),
    raName);

struct DecCase {
    std::int32_t sign;
    std::int32_t degrees;
    std::int32_t minutes;
    const char* seconds;
    DecUnits expected;
};

void PrintTo(const DecCase& c, std::ostream* os) {
    *os << (c.sign < 0 ? "-" : "+") << c.degrees << " deg " << c.minutes << " min " << c.seconds
        << " s -> " << c.expected;
}

// "Minus4d5m6_7s"
std::string decName(const ::testing::TestParamInfo<DecCase>& info) {
    const DecCase& c = info.param;
    return testing::valueName((c.sign < 0 ? "-" : "+") + std::to_string(c.degrees) + "d" +
                              std::to_string(c.minutes) + "m" + c.seconds + "s");
}

class EncodeDecTest : public ::testing::TestWithParam<DecCase> {};

TEST_P(EncodeDecTest, GivesTheUnitsTruncatedTowardZero) {
    const DecCase& c = GetParam();
    EXPECT_EQ(encodeDec(c.sign, c.degrees, c.minutes, nearest(c.seconds)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, EncodeDecTest,
    ::testing::Values(DecCase{-1, 4, 5, "6.7", -1470670},
                      // 2.3 x 100.0 rounds to 229.99999999999997.
                      DecCase{1, 0, 0, "2.3", 229},
                      // The sign applies with zero degrees ...
                      DecCase{-1, 0, 30, "0.0", -180000},
                      // ... and vanishes on an all-zero declination.
                      DecCase{-1, 0, 0, "0.0", 0}, DecCase{1, 90, 0, "0.0", 32400000},
                      DecCase{-1, 90, 0, "0.0", -32400000},
                      // Truncation toward zero: one unit closer to zero on both sides.
                      DecCase{-1, 89, 59, "59.9", -32399990}, DecCase{1, 0, 0, "1.99", 199},
                      DecCase{-1, 0, 0, "2.3", -229}),
    decName);

TEST(EncodeRa, ValueBeyondTheIntegerRangeIsTheInvalidOperationReport) {
    testing::CapturedProcess process;
    const testing::ProcessOutcome outcome =
        process.run([] { static_cast<void>(encodeRa(0, 0, 1e300)); });
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");
    EXPECT_EQ(outcome.status, 1);
}

TEST(EncodeDec, NotANumberIsTheInvalidOperationReport) {
    testing::CapturedProcess process;
    const testing::ProcessOutcome outcome = process.run(
        [] { static_cast<void>(encodeDec(1, 0, 0, std::numeric_limits<double>::quiet_NaN())); });
    EXPECT_EQ(outcome.err, "\r\nrun-time error M6101: MATH\r\n- floating-point error: invalid\r\n");
    EXPECT_EQ(outcome.status, 1);
}

}  // namespace
}  // namespace gscmerge::catalogue
