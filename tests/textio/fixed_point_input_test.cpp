// Fixed-point fields must give exactly the double nearest their decimal
// value. The references are independent of the code under test: the C
// library's strtod (correctly rounded on glibc) and hexadecimal constants.
#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cfloat>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/case_name.h"
#include "tests/support/memory_input.h"
#include "textio/error_report.h"
#include "textio/input.h"

namespace gscmerge::textio {
namespace {

using testing::CapturedProcess;
using testing::caseName;
using testing::MemoryInput;
using testing::ProcessOutcome;

std::uint64_t bitsOf(double value) {
    return std::bit_cast<std::uint64_t>(value);
}

std::string hexOf(double value) {
    char text[40];
    std::snprintf(text, sizeof(text), "%a", value);
    return text;
}

// The value of a field text as the reference sees it: the decimal number
// written, over 10^decimals when it has no point; a text without digits is a
// zero carrying its sign.
double referenceValue(const std::string& text, int decimals) {
    if (text.find_first_of("0123456789") == std::string::npos) {
        return text.find('-') != std::string::npos ? -0.0 : 0.0;
    }
    std::string decimal = text;
    if (text.find('.') == std::string::npos) decimal += "e-" + std::to_string(decimals);
    return std::strtod(decimal.c_str(), nullptr);
}

// Calls `visit` with every text of 1 to `length` characters made of digits
// and at most one point.
template <class Visit>
void forEachFieldText(std::string& text, int length, bool hasPoint, Visit& visit) {
    if (!text.empty() && !(text.size() == 1 && text[0] == '-')) visit(text);
    if (static_cast<int>(text.size()) == length) return;
    for (char c = '0'; c <= '9'; ++c) {
        text.push_back(c);
        forEachFieldText(text, length, hasPoint, visit);
        text.pop_back();
    }
    if (!hasPoint) {
        text.push_back('.');
        forEachFieldText(text, length, true, visit);
        text.pop_back();
    }
}

struct FieldShape {
    int width;
    int decimals;
};

void PrintTo(const FieldShape& shape, std::ostream* os) {
    *os << "F" << shape.width << "." << shape.decimals;
}

class EveryFieldText : public ::testing::TestWithParam<FieldShape> {};

// Every text the field can hold, unsigned and with a leading minus sign,
// right-justified as the raw files have them, read through one statement per
// line.
TEST_P(EveryFieldText, IsTheNearestDouble) {
    const int width = GetParam().width;
    const int decimals = GetParam().decimals;
    std::string data;
    std::vector<std::string> texts;
    auto collect = [&](const std::string& text) {
        texts.push_back(text);
        data += std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text + "\r\n";
    };
    std::string text;
    forEachFieldText(text, width, false, collect);
    text = "-";
    forEachFieldText(text, width, false, collect);
    ASSERT_GT(texts.size(), 1000u);

    const std::string layoutText =
        "(F" + std::to_string(width) + "." + std::to_string(decimals) + ")";
    const RecordLayout layout = parseLayout(layoutText);
    MemoryInput input(std::move(data));
    int mismatches = 0;
    CapturedProcess process;
    const ProcessOutcome outcome = process.run([&] {
        for (const std::string& fieldText : texts) {
            InputStatement read(input.buffer(), layout);
            double value = 0.0;
            read.getReal(value);
            read.endRead();
            const double expected = referenceValue(fieldText, decimals);
            if (bitsOf(value) != bitsOf(expected) && ++mismatches <= 10) {
                ADD_FAILURE() << layoutText << " '" << fieldText << "' gives " << hexOf(value)
                              << ", nearest is " << hexOf(expected);
            }
        }
    });
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(mismatches, 0);
}

// The shapes of the raw files' fields; F8.2 also covers the widest text.
INSTANTIATE_TEST_SUITE_P(SystemFields, EveryFieldText,
                         ::testing::Values(FieldShape{5, 2}, FieldShape{4, 1}, FieldShape{4, 2}),
                         [](const ::testing::TestParamInfo<FieldShape>& param) {
                             return "F" + std::to_string(param.param.width) + "_" +
                                    std::to_string(param.param.decimals);
                         });

TEST(FixedPointExample, FiftySixPointSeventyEight) {
    MemoryInput input("56.78\n");
    double value = 0.0;
    CapturedProcess process;
    const RecordLayout layout = parseLayout("(F5.2)");
    (void)process.run([&] {
        InputStatement read(input.buffer(), layout);
        read.getReal(value);
        read.endRead();
    });
    char exact[64];
    std::snprintf(exact, sizeof(exact), "%.45f", value);
    EXPECT_STREQ(exact, "56.780000000000001136868377216160297393798828125");
}

// ---------------------------------------------------------------------------
// Texts beyond the fast path: many digits, exponents, the edges of the
// double range.

struct Conversion {
    double value = 0.0;
    ProcessOutcome outcome;
};

Conversion convert(const std::string& text) {
    const std::string layoutText = "(F" + std::to_string(text.size()) + ".0)";
    const RecordLayout layout = parseLayout(layoutText);
    MemoryInput input(text + "\n");
    Conversion result;
    CapturedProcess process;
    result.outcome = process.run([&] {
        InputStatement read(input.buffer(), layout);
        read.getReal(result.value);
        read.endRead();
    });
    return result;
}

const std::string kOverflowReport = "\r\nrun-time error F6102: READ(memory)\r\n- " +
                                    std::string(runtimeErrorMessage(6102)) + "\r\n";

// The exact decimal expansion of 2^-1075, half the smallest subnormal:
// 5^1075 x 10^-1075.
std::string halfSmallestSubnormal() {
    std::string digits = "1";  // most significant first
    for (int i = 0; i < 1075; ++i) {
        int carry = 0;
        for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
            const int product = (*it - '0') * 5 + carry;
            *it = static_cast<char>('0' + product % 10);
            carry = product / 10;
        }
        while (carry > 0) {
            digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
            carry /= 10;
        }
    }
    return digits + "E-1075";
}

// 1 + 2^-53, exactly halfway between 1 and the next double.
const std::string kOneAndHalfUlp = "1.00000000000000011102230246251565404236316680908203125";

struct SlowCase {
    const char* name;
    std::string text;
    double expected;
};

void PrintTo(const SlowCase& c, std::ostream* os) {
    // Some texts run to a thousand digits: their start and length say enough.
    if (c.text.size() <= 60) {
        *os << '"' << c.text << '"';
    } else {
        *os << '"' << c.text.substr(0, 40) << "...\" (" << c.text.size() << " characters)";
    }
    *os << " -> " << hexOf(c.expected);
}

class SlowPath : public ::testing::TestWithParam<SlowCase> {};

TEST_P(SlowPath, NearestDouble) {
    const Conversion result = convert(GetParam().text);
    EXPECT_EQ(result.outcome.err, "");
    EXPECT_EQ(hexOf(result.value), hexOf(GetParam().expected));
}

const SlowCase kSlowCases[] = {
    {"BeyondExactPowers", "1E23", 0x1.52d02c7e14af6p+76},
    {"TwentyDigits", "12345678901234567890", 0x1.56a95319d63e1p+63},
    {"TieBelowTwoToThe53RoundsToEven", "9007199254740993", 0x1p+53},
    {"TieAboveTwoToThe53RoundsToEven", "9007199254740995", 0x1.0000000000002p+53},
    {"TieAtOneStaysEven", kOneAndHalfUlp, 1.0},
    {"TieAtOneBrokenByDigitFarAway", kOneAndHalfUlp + std::string(900, '0') + "1",
     0x1.0000000000001p+0},
    {"ZerosFarBeyondTieKeepTie", kOneAndHalfUlp + std::string(900, '0'), 1.0},
    {"LargestDouble", "1.7976931348623157E308", DBL_MAX},
    {"RoundsDownToLargest", "1.7976931348623158E308", DBL_MAX},
    {"SmallestNormal", "2.2250738585072014E-308", DBL_MIN},
    {"LargestSubnormal", "2.2250738585072009E-308", 0x0.fffffffffffffp-1022},
    {"SmallestSubnormal", "4.9406564584124654E-324", 0x0.0000000000001p-1022},
    {"JustAboveHalfSmallest", "2.4703282292062328E-324", 0x0.0000000000001p-1022},
    {"JustBelowHalfSmallest", "2.4703282292062327E-324", 0.0},
    {"ExactlyHalfSmallestRoundsToEvenZero", halfSmallestSubnormal(), 0.0},
    {"NegativeSubnormal", "-4.9406564584124654E-324", -0x0.0000000000001p-1022},
    {"FarBelowRange", "1E-400", 0.0},
    {"NegativeFarBelowRange", "-1E-400", -0.0},
    {"HugeNegativeExponent", "1E-99999999999", 0.0},
    {"ManyLeadingFractionZeros", "0." + std::string(320, '0') + "5", 0x0.00000000003f4p-1022},
    {"ManyIntegerDigitsSmallExponent", std::string(330, '1') + "E-329", 0x1.1c71c71c71c72p+0},
};
INSTANTIATE_TEST_SUITE_P(Texts, SlowPath, ::testing::ValuesIn(kSlowCases), caseName<SlowCase>);

TEST(SlowPathRange, BeyondTheDoubleRangeIs6102) {
    const std::string beyond[] = {"1.7976931348623159E308", "1E309", "1E99999999999", "-1E400",
                                  std::string(310, '9') + "."};
    for (const std::string& text : beyond) {
        const Conversion result = convert(text);
        EXPECT_EQ(result.outcome.err, kOverflowReport) << text;
        EXPECT_EQ(result.outcome.status, 1) << text;
    }
}

TEST(SlowPathRange, ExponentTextNeverReachesTheTraps) {
    // The program runs with overflow and invalid operations trapping; the
    // exact conversion must neither trap nor leave the traps off.
    CapturedProcess process;
    process.calls().enableFloatingPointTraps([](int) { std::abort(); });
    EXPECT_EQ(hexOf(convert("1E-400").value), hexOf(0.0));
    EXPECT_EQ(hexOf(convert("4.9406564584124654E-324").value), hexOf(0x0.0000000000001p-1022));
    EXPECT_EQ(convert("1E400").outcome.err, kOverflowReport);
#ifdef __GLIBC__
    EXPECT_NE(fegetexcept() & FE_OVERFLOW, 0);
#endif
    process.calls().disableFloatingPointTraps();
}

// A seeded sweep of texts with up to 40 digits, a point anywhere or none, and
// exponents across the whole double range and beyond it.
TEST(SlowPathSweep, MatchesStrtod) {
    std::mt19937_64 random(20240611);
    int mismatches = 0;
    for (int i = 0; i < 20000; ++i) {
        const int digitCount = 1 + static_cast<int>(random() % 40);
        std::string text;
        if (random() % 4 == 0) text += '-';
        const int point = static_cast<int>(random() % static_cast<unsigned>(digitCount + 2)) - 1;
        for (int d = 0; d < digitCount; ++d) {
            if (d == point) text += '.';
            text += static_cast<char>('0' + random() % 10);
        }
        if (point == digitCount) text += '.';
        const int exponent = static_cast<int>(random() % 700) - 360;
        text += "E" + std::to_string(exponent);

        const double expected = std::strtod(text.c_str(), nullptr);
        const Conversion result = convert(text);
        const bool overflow = expected == HUGE_VAL || expected == -HUGE_VAL;
        const bool matches =
            overflow ? result.outcome.err == kOverflowReport
                     : result.outcome.err.empty() && bitsOf(result.value) == bitsOf(expected);
        if (!matches && ++mismatches <= 10) {
            ADD_FAILURE() << text << " gives " << hexOf(result.value) << result.outcome.err
                          << ", nearest is " << hexOf(expected);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace gscmerge::textio
