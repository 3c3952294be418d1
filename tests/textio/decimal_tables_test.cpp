// The constant tables that the field readers and writers share.
#include "textio/decimal_tables.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

namespace gscmerge::textio {
namespace {

// Every quotient of a table against the division made at run time, on the
// machine the tests run on (its arithmetic, not the compiler's): the plain
// fixed-point fields take their values from these tables, the general read
// statement from that division.
template <int kDecimals, int kDigits>
void expectQuotientsOfTheDivision() {
    volatile double divisor = kExactPowersOfTen[kDecimals];
    const auto& table = kDecimalQuotients<kDecimals, kDigits>;
    ASSERT_EQ(table.size(), kPowersOfTen[kDigits]);
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        const double quotient = static_cast<double>(n) / divisor;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(decimalQuotient<kDecimals, kDigits>(n)),
                  std::bit_cast<std::uint64_t>(quotient))
            << n << " / 10^" << kDecimals;
    }
}

TEST(DecimalQuotients, AreTheQuotientsOfTheDivision) {
    expectQuotientsOfTheDivision<1, 2>();
    expectQuotientsOfTheDivision<1, 3>();
    expectQuotientsOfTheDivision<2, 3>();
    expectQuotientsOfTheDivision<2, 4>();
    expectQuotientsOfTheDivision<3, 4>();
    expectQuotientsOfTheDivision<0, 4>();
}

TEST(DecimalQuotients, WiderNumbersAreDivided) {
    EXPECT_EQ((decimalQuotient<2, 7>(1234567u)), 12345.67);
    EXPECT_EQ((decimalQuotient<4, 8>(99999999u)), 9999.9999);
}

}  // namespace
}  // namespace gscmerge::textio
