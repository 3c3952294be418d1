// formatFixed and exactLeadingDigits against an exact reference written here
// from first principles: a double is m x 2^q, so its decimal expansion is the
// integer m << q, or the digits of m x 5^s with the point s places from the
// right (s = -q). Both are computed with plain big-integer arithmetic, then
// rounded the two documented ways (17 significant digits half up on the 18th,
// then d decimals half up, at most 16 significant digits shown).
#include "textio/decimal_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <new>
#include <ostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "textio/layout.h"
#include "textio/output.h"
#include "textio/output_buffer.h"
#include "textio/record_statements.h"

// Counts every heap allocation of the test process, so that a test can show
// that formatting a field allocates nothing.
namespace {
std::atomic<long> allocationCount{0};
}  // namespace

void* operator new(std::size_t size) {
    allocationCount.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
// GCC cannot see that the replaced operator new above takes its blocks from
// malloc, and would flag the matching free.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace gscmerge::textio {
namespace {

// ---------------------------------------------------------------------------
// The reference.

// Unsigned integers up to 84 x 32 bits: enough for m x 5^1074 (2547 bits)
// and for m << 971.
class BigUnsigned {
public:
    explicit BigUnsigned(std::uint64_t value) {
        limbs_[0] = static_cast<std::uint32_t>(value);
        limbs_[1] = static_cast<std::uint32_t>(value >> 32);
        size_ = 2;
        trim();
    }

    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (std::size_t i = 0; i < size_; ++i) {
            const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
            limbs_[i] = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) limbs_[size_++] = static_cast<std::uint32_t>(carry);
    }

    void shiftLeft(int bits) {
        const auto whole = static_cast<std::size_t>(bits / 32);
        for (std::size_t i = size_; i-- > 0;) limbs_[i + whole] = limbs_[i];
        for (std::size_t i = 0; i < whole; ++i) limbs_[i] = 0;
        size_ += whole;
        for (int i = 0; i < bits % 32; ++i) multiply(2);
    }

    // Divides in place and returns the remainder.
    std::uint32_t divide(std::uint32_t divisor) {
        std::uint64_t remainder = 0;
        for (std::size_t i = size_; i-- > 0;) {
            const std::uint64_t current = (remainder << 32) | limbs_[i];
            limbs_[i] = static_cast<std::uint32_t>(current / divisor);
            remainder = current % divisor;
        }
        trim();
        return static_cast<std::uint32_t>(remainder);
    }

    // The decimal digits, most significant first ("0" for zero).
    [[nodiscard]] std::string decimal() const {
        BigUnsigned rest = *this;
        char reversed[800];
        std::size_t count = 0;
        while (rest.size_ > 0) {
            std::uint32_t chunk = rest.divide(1000000000u);
            // Nine digits per chunk, except that the top chunk loses its leading zeros.
            for (int i = 0; i < 9 && (rest.size_ > 0 || chunk > 0); ++i) {
                reversed[count++] = static_cast<char>('0' + chunk % 10);
                chunk /= 10;
            }
        }
        if (count == 0) return "0";
        return std::string(std::make_reverse_iterator(reversed + count),
                           std::make_reverse_iterator(reversed));
    }

private:
    void trim() {
        while (size_ > 0 && limbs_[size_ - 1] == 0) --size_;
    }
    std::uint32_t limbs_[84] = {};
    std::size_t size_ = 0;
};

// |x| = 0.digits x 10^exponent, digits without leading or trailing zeros.
struct ExactDecimal {
    std::string digits;
    int exponent = 0;
};

ExactDecimal exactDecimal(double x) {
    const auto bits = std::bit_cast<std::uint64_t>(x);
    const auto biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    int power = -1074;
    if (biased != 0) {
        mantissa |= std::uint64_t{1} << 52;
        power = biased - 1075;
    }
    BigUnsigned number(mantissa);
    int pointFromRight = 0;
    if (power >= 0) {
        number.shiftLeft(power);
    } else {
        // m x 5^s, in steps of 5^13 (the largest power of 5 in 32 bits).
        for (int s = -power; s > 0; s -= 13) {
            std::uint32_t factor = 1;
            for (int i = 0; i < s && i < 13; ++i) factor *= 5;
            number.multiply(factor);
        }
        pointFromRight = -power;
    }
    ExactDecimal result;
    result.digits = number.decimal();
    result.exponent = static_cast<int>(result.digits.size()) - pointFromRight;
    while (result.digits.size() > 1 && result.digits.back() == '0') result.digits.pop_back();
    return result;
}

std::uint64_t powerOfTen(int n) {
    std::uint64_t p = 1;
    for (int i = 0; i < n; ++i) p *= 10;
    return p;
}

// The Fw.d text of x with d decimals, from its exact expansion.
std::string referenceFixed(double x, const ExactDecimal& exact, int d) {
    std::uint64_t scaled = 0;  // |x| rounded, in units of 10^-dk
    int dk = d;                // the decimal place actually rounded to
    if (x != 0.0) {
        // First rounding: 17 significant digits, half up on the 18th.
        auto digit = [&](std::size_t i) {
            return i < exact.digits.size() ? exact.digits[i] - '0' : 0;
        };
        std::uint64_t r = 0;
        for (std::size_t i = 0; i < 17; ++i) r = r * 10 + static_cast<std::uint64_t>(digit(i));
        int e = exact.exponent;
        if (digit(17) >= 5) ++r;
        if (r == powerOfTen(17)) {
            r = powerOfTen(16);
            ++e;
        }
        // |x| ~ r x 10^(e-17). Second rounding: at d decimals, but never
        // below the 16th significant digit.
        dk = std::min(d, 16 - e);
        const int drop = 17 - e - dk;  // >= 1
        if (drop <= 18) {
            const std::uint64_t unit = powerOfTen(drop);
            scaled = r / unit + (r % unit * 2 >= unit ? 1 : 0);
        }
    }
    // The digits of |x| rounded, times 10^d: those of `scaled`, then zeros.
    char v[400];
    int count = 0;
    if (scaled != 0) {
        count = std::snprintf(v, sizeof(v), "%llu", static_cast<unsigned long long>(scaled));
        for (int i = 0; i < d - dk; ++i) v[count++] = '0';
    }
    char text[400];
    int length = 0;
    if (std::signbit(x) && scaled != 0) text[length++] = '-';
    const int whole = count > d ? count - d : 0;
    for (int i = 0; i < whole; ++i) text[length++] = v[i];
    if (whole == 0 && d == 0) text[length++] = '0';
    text[length++] = '.';
    for (int i = count; i < d; ++i) text[length++] = '0';
    for (int i = whole; i < count; ++i) text[length++] = v[i];
    return std::string(text, static_cast<std::size_t>(length));
}

// ---------------------------------------------------------------------------
// The code under test, as text.

// The text, with its announced length checked against what was written.
std::string fixedText(double x, int d) {
    const FormattedFixed text = formatFixed(x, d);
    char out[400];  // 309 digits before the point and 30 after at most here
    std::size_t count = 0;
    text.write([&](char c) { out[count++] = c; });
    if (text.length() != static_cast<std::int64_t>(count)) {
        ADD_FAILURE() << "length() " << text.length() << " for [" << std::string(out, count) << "]";
    }
    return std::string(out, count);
}

std::string hex(double x) {
    char text[64];
    std::snprintf(text, sizeof(text), "%a", x);
    return text;
}

// Compares every decimals count in `decimals` for every value; stops after a
// handful of reported differences so that a fault does not flood the log.
void expectMatchesReference(const std::vector<double>& values,
                            std::initializer_list<int> decimals) {
    int failures = 0;
    for (const double x : values) {
        const ExactDecimal exact = exactDecimal(x);
        for (const int d : decimals) {
            const std::string expected = referenceFixed(x, exact, d);
            const std::string actual = fixedText(x, d);
            if (actual != expected && ++failures <= 10) {
                ADD_FAILURE() << "formatFixed(" << hex(x) << " = 0." << exact.digits << "e"
                              << exact.exponent << ", " << d << ") gave [" << actual
                              << "], expected [" << expected << "]";
            }
            // The short form, where it takes the value, must say the same.
            char tail[kFixedTailRoom];
            const std::int32_t length = formatFixedTail(x, d, tail + kFixedTailRoom);
            const std::string shortForm =
                length < 0
                    ? expected
                    : std::string(tail + kFixedTailRoom - length, static_cast<std::size_t>(length));
            if (shortForm != expected && ++failures <= 10) {
                ADD_FAILURE() << "formatFixedTail(" << hex(x) << " = 0." << exact.digits << "e"
                              << exact.exponent << ", " << d << ") gave [" << shortForm
                              << "], expected [" << expected << "]";
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

// exactLeadingDigits against the first 18 digits of the exact expansion.
void expectLeadingDigitsMatch(const std::vector<double>& values) {
    int failures = 0;
    for (const double x : values) {
        if (x == 0.0) continue;
        const ExactDecimal exact = exactDecimal(x);
        std::string expected = exact.digits.substr(0, 18);
        expected.resize(18, '0');
        char digits[18];
        std::int32_t exponent = 0;
        exactLeadingDigits(x, digits, &exponent);
        if ((std::string(digits, 18) != expected || exponent != exact.exponent) &&
            ++failures <= 10) {
            ADD_FAILURE() << hex(x) << ": got 0." << std::string(digits, 18) << "e" << exponent
                          << ", expected 0." << expected << "e" << exact.exponent;
        }
    }
    EXPECT_EQ(failures, 0);
}

void addNeighbours(std::vector<double>& values, double x, int steps) {
    double below = x;
    double above = x;
    values.push_back(x);
    for (int i = 0; i < steps; ++i) {
        below = std::nextafter(below, -INFINITY);
        above = std::nextafter(above, INFINITY);
        // Only finite values ever reach a field.
        if (std::isfinite(below)) values.push_back(below);
        if (std::isfinite(above)) values.push_back(above);
    }
}

void addBothSigns(std::vector<double>& values) {
    const std::size_t count = values.size();
    for (std::size_t i = 0; i < count; ++i) values.push_back(-values[i]);
}

// A deterministic source of numbers: the raw engine output only, so the
// sample is the same with every standard library.
class Numbers {
public:
    std::uint64_t next() { return engine_(); }
    // Uniform enough in [0, bound) for a sample.
    std::uint64_t below(std::uint64_t bound) { return engine_() % bound; }

private:
    std::mt19937_64 engine_{20240611};
};

// ---------------------------------------------------------------------------
// The reference itself, on values whose texts are known by hand.

TEST(ReferenceFixed, AgreesWithHandWorkedValues) {
    auto text = [](double x, int d) { return referenceFixed(x, exactDecimal(x), d); };
    EXPECT_EQ(text(2.675, 2), "2.67");
    EXPECT_EQ(text(0.125, 2), ".13");
    EXPECT_EQ(text(-0.005, 2), "-.01");
    EXPECT_EQ(text(-0.001, 2), ".00");
    EXPECT_EQ(text(0.2, 0), "0.");
    EXPECT_EQ(text(9.995, 2), "9.99");
    EXPECT_EQ(text(12.345, 2), "12.35");
    EXPECT_EQ(exactDecimal(12.345).digits.substr(0, 18), "123450000000000006");
    EXPECT_EQ(exactDecimal(0x1p-1074).exponent, -323);
    EXPECT_EQ(exactDecimal(1e300).exponent, 301);
}

// ---------------------------------------------------------------------------
// formatFixed against the reference.

// Values near every half-way point k/10^d + 5/10^(d+1) for d = 0..4 with up
// to 11 digits before the field's width of 12 runs out, both signs, three
// doubles either side of the double nearest each point.
TEST(FormatFixedExactness, MatchesReferenceAroundDecimalBoundaries) {
    Numbers numbers;
    std::vector<double> values;
    for (int d = 0; d <= 4; ++d) {
        auto addBoundary = [&](std::uint64_t k) {
            // (10k + 5) x 10^-(d+1), written as a decimal text and read back.
            const std::string digits = std::to_string(k * 10 + 5);
            const double nearest =
                std::strtod((digits + "e-" + std::to_string(d + 1)).c_str(), nullptr);
            addNeighbours(values, nearest, 3);
        };
        for (std::uint64_t k = 0; k < 1000; ++k) addBoundary(k);
        for (int i = 0; i < 3000; ++i) {
            const int digitCount =
                1 + static_cast<int>(numbers.below(static_cast<std::uint64_t>(11 - d)));
            addBoundary(numbers.below(powerOfTen(digitCount)));
        }
    }
    addBothSigns(values);
    expectMatchesReference(values, {0, 1, 2, 3, 4});
}

// Exact ties at the d-th decimal: odd multiples of 2^-(d+1) have a last
// digit 5 exactly at decimal d + 1 (0.125, 2.5, 0.03125, ...).
TEST(FormatFixedExactness, MatchesReferenceOnExactTiesAtTheLastDecimal) {
    Numbers numbers;
    std::vector<double> values;
    for (int d = 0; d <= 4; ++d) {
        for (std::uint64_t odd = 1; odd < 4000; odd += 2) {
            values.push_back(std::ldexp(static_cast<double>(odd), -(d + 1)));
        }
        for (int i = 0; i < 2000; ++i) {
            const std::uint64_t odd = numbers.below(std::uint64_t{1} << 36) | 1;
            addNeighbours(values, std::ldexp(static_cast<double>(odd), -(d + 1)), 1);
        }
    }
    addBothSigns(values);
    expectMatchesReference(values, {0, 1, 2, 3, 4});
}

// Exact ties at the 18th significant digit: an odd k over 2^j has exactly j
// decimals, the last one 5, so k x 2^-j has 18 significant digits exactly
// when k x 5^j has 18 digits.
TEST(FormatFixedExactness, MatchesReferenceOnExactTiesAtThe18thDigit) {
    Numbers numbers;
    std::vector<double> values;
    for (int j = 2; j <= 25; ++j) {
        const std::uint64_t five = [&] {
            std::uint64_t p = 1;
            for (int i = 0; i < j; ++i) p *= 5;
            return p;
        }();
        const std::uint64_t first = (powerOfTen(17) + five - 1) / five;
        const std::uint64_t last =
            std::min((powerOfTen(18) - 1) / five, (std::uint64_t{1} << 53) - 1);
        if (first > last) continue;
        for (int i = 0; i < 400; ++i) {
            const std::uint64_t k = (first + numbers.below(last - first + 1)) | 1;
            if (k > last) continue;
            const double x = std::ldexp(static_cast<double>(k), -j);
            ASSERT_EQ(exactDecimal(x).digits.size(), 18u) << hex(x);
            addNeighbours(values, x, 1);
        }
    }
    addBothSigns(values);
    // Long decimals bring the cut to the 16th digit, where the 17th decides.
    expectMatchesReference(values, {0, 1, 2, 3, 4, 8, 12, 16, 20});
}

// Values whose 18th digit is near 5 just where the 17-digit rounding lands on
// a half-way point of the second rounding (…4999999999999999|5 and the like),
// so that both roundings interact.
TEST(FormatFixedExactness, MatchesReferenceWhereTheTwoRoundingsMeet) {
    Numbers numbers;
    std::vector<double> values;
    for (int d = 0; d <= 4; ++d) {
        for (int i = 0; i < 3000; ++i) {
            const int wholeDigits =
                static_cast<int>(numbers.below(static_cast<std::uint64_t>(12 - d)));
            // The half-way point (10k + 5) x 10^-(d+1) has `significant`
            // digits; 17 digits of it less one unit in the 17th, then a 5.
            const std::uint64_t k = numbers.below(powerOfTen(wholeDigits + d));
            const int significant = static_cast<int>(std::to_string(k * 10 + 5).size());
            const std::string digits =
                std::to_string(k * 10 + 4) +
                std::string(static_cast<std::size_t>(17 - significant), '9') + "5";
            const int exponent = -(d + 1) - (18 - significant);
            const double nearest =
                std::strtod((digits + "e" + std::to_string(exponent)).c_str(), nullptr);
            addNeighbours(values, nearest, 2);
        }
    }
    addBothSigns(values);
    expectMatchesReference(values, {0, 1, 2, 3, 4});
}

// Subnormals, the smallest normals, huge values (far beyond 2^64, where the
// digits come from the long path) and the edges of the fast path.
TEST(FormatFixedExactness, MatchesReferenceAtTheEdgesOfTheRange) {
    Numbers numbers;
    std::vector<double> values = {0.0, -0.0, DBL_MIN, DBL_MAX, DBL_TRUE_MIN, 0x1p64, 0x1p-72};
    addNeighbours(values, DBL_MIN, 2);
    addNeighbours(values, DBL_MAX, 2);
    addNeighbours(values, 0x1p64, 2);
    addNeighbours(values, 0x1p-72, 2);
    for (int i = 0; i < 1500; ++i) {
        // Subnormal: biased exponent 0.
        values.push_back(std::bit_cast<double>(numbers.below(std::uint64_t{1} << 52) + 1));
        // Huge: biased exponents from 2^64 to the top.
        const std::uint64_t biased = 1087 + numbers.below(2047 - 1087);
        values.push_back(
            std::bit_cast<double>((biased << 52) | numbers.below(std::uint64_t{1} << 52)));
    }
    // Mantissas of every length just inside and just outside the 128-bit
    // fraction's reach and the 64-bit integer's reach.
    for (int power = -130; power <= -118; ++power) {
        for (int i = 0; i < 40; ++i) {
            const std::uint64_t m = numbers.below(std::uint64_t{1} << (1 + i % 53)) | 1;
            values.push_back(std::ldexp(static_cast<double>(m), power));
        }
    }
    for (int power = 5; power <= 16; ++power) {
        for (int i = 0; i < 40; ++i) {
            const std::uint64_t m = numbers.below(std::uint64_t{1} << (1 + i % 53)) | 1;
            values.push_back(std::ldexp(static_cast<double>(m), power));
        }
    }
    addBothSigns(values);
    // Below 10^-5 every text is zero: the digits themselves must be right too.
    expectLeadingDigitsMatch(values);
    expectMatchesReference(values, {0, 1, 2, 3, 4});
}

// The doubles nearest the powers of ten. Some of them (1e-14, 1e98, 1e129,
// ...) lie so close below the power that 17 digits are all nines and the
// 18th rounds them up into the next decade.
TEST(FormatFixedExactness, MatchesReferenceAtPowersOfTen) {
    std::vector<double> values;
    for (int k = -323; k <= 308; ++k) {
        addNeighbours(values, std::strtod(("1e" + std::to_string(k)).c_str(), nullptr), 2);
    }
    addBothSigns(values);
    expectLeadingDigitsMatch(values);
    expectMatchesReference(values, {0, 1, 2, 3, 4, 16, 20, 30});
    EXPECT_EQ(fixedText(1e98, 0), "1" + std::string(98, '0') + ".");
    EXPECT_EQ(fixedText(1e-14, 20), ".00000000000001000000");
}

// Any double and longer decimals, where the 16-significant-digit limit and
// the zeros beyond the digits show.
TEST(FormatFixedExactness, MatchesReferenceOnRandomDoublesAndLongDecimals) {
    Numbers numbers;
    std::vector<double> values;
    for (int i = 0; i < 4000; ++i) {
        const double x = std::bit_cast<double>(numbers.next());
        if (std::isfinite(x)) values.push_back(x);
        // And values of a size a field can show.
        values.push_back(std::ldexp(static_cast<double>(numbers.below(std::uint64_t{1} << 53)),
                                    -static_cast<int>(numbers.below(80))));
    }
    expectMatchesReference(values, {0, 1, 2, 3, 4, 8, 15, 16, 17, 20, 30});
}

TEST(FormatFixed, ShowsAtMost16SignificantDigitsThenZeros) {
    EXPECT_EQ(fixedText(0.1, 20), ".10000000000000000000");
    EXPECT_EQ(fixedText(1.0 / 3.0, 18), ".333333333333333300");
    EXPECT_EQ(fixedText(0x1p60, 0), "1152921504606847000.");
    EXPECT_EQ(fixedText(-0x1p60, 2), "-1152921504606847000.00");
    EXPECT_EQ(fixedText(9999999999999999.0, 1), "10000000000000000.0");
}

// An infinity or a NaN has no digits: whatever the field, it shows
// asterisks, and nothing reads beyond the value.
TEST(FormatFixed, NonFiniteValuesAreTooWideForAnyField) {
    for (const double value : {HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan("")}) {
        for (const std::int32_t decimals : {0, 2, 40}) {
            EXPECT_GT(formatFixed(value, decimals).length(), INT32_MAX) << value << " " << decimals;
        }
        char tail[kFixedTailRoom];
        EXPECT_EQ(formatFixedTail(value, 2, tail + kFixedTailRoom), -1) << value;
    }
}

// Fixed-point fields as records show them, through both ways a statement
// places a field: the layout walk (formatFixed) and the typed statement
// (its own placing for at most 3 decimals and 16 columns, formatFixedTail
// where that writes, formatFixed elsewhere). The
// values cover the texts of at most 9 decimals and 19 digits, which the
// short form writes, and those just beyond it.
struct FixedFieldCase {
    const char* label;
    double value;
    const char* layout;
    const char* field;  // the field's columns
};

void PrintTo(const FixedFieldCase& c, std::ostream* out) {
    *out << c.layout << " of " << hex(c.value) << " -> [" << c.field << "]";
}

// One record of `layout` holding `value`, by the layout walk or by the typed
// statement over the compiled layout (one of FixedFieldLayouts).
void writeFixed(OutputBuffer& buffer, const char* layout, double value, bool typed);

std::string fixedRecord(const char* layout, double value, bool typed) {
    // A statement ends the run after an operation that should have trapped;
    // the flags that the reference's and the other tests' arithmetic leave
    // are none of its business.
    std::feclearexcept(FE_ALL_EXCEPT);
    std::string written;
    char block[64];
    OutputBuffer buffer(
        block, sizeof(block),
        [](void* sink, const char* bytes, std::size_t count) {
            static_cast<std::string*>(sink)->append(bytes, count);
        },
        &written);
    writeFixed(buffer, layout, value, typed);
    buffer.flushWaiting();
    return written;
}

template <LayoutText... kTexts>
struct FieldLayouts {
    static void write(OutputBuffer& buffer, const char* layout, double value, bool typed) {
        bool found = false;
        (
            [&] {
                if (found || std::string_view(layout) != kTexts.view()) return;
                found = true;
                using Layout = CompiledLayout<kTexts>;
                static constexpr Layout kLayout{};
                EXPECT_TRUE(Layout::record.usable) << layout;
                if (typed) {
                    writeRecord(buffer, "memory", kLayout, value);
                } else {
                    OutputStatement statement(buffer, "memory", Layout::layout);
                    statement.putReal(value);
                    statement.endWrite();
                }
            }(),
            ...);
        EXPECT_TRUE(found) << layout << " is not among the compiled field layouts";
    }
};

using FixedFieldLayouts = FieldLayouts<"(F4.2)", "(F2.0)", "(F5.2)", "(F6.2)", "(F10.9)", "(F12.9)",
                                       "(F12.10)", "(F17.0)", "(F20.0)", "(F20.9)", "(F21.9)",
                                       "(F21.0)", "(F12.2)", "(F6.4)", "(F3.0)">;

void writeFixed(OutputBuffer& buffer, const char* layout, double value, bool typed) {
    FixedFieldLayouts::write(buffer, layout, value, typed);
}

class FixedField : public ::testing::TestWithParam<FixedFieldCase> {};

TEST_P(FixedField, ShowsTheRoundedTextByBothWaysOfPlacingIt) {
    const FixedFieldCase& c = GetParam();
    const std::string record = std::string(c.field) + "\r\n";
    EXPECT_EQ(fixedRecord(c.layout, c.value, false), record);
    EXPECT_EQ(fixedRecord(c.layout, c.value, true), record);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedField,
    ::testing::Values(
        FixedFieldCase{"Zero", 0.0, "(F4.2)", " .00"},
        FixedFieldCase{"NegativeZeroNoDecimals", -0.0, "(F2.0)", "0."},
        FixedFieldCase{"RoundsToZeroWithoutSign", -0.004, "(F4.2)", " .00"},
        FixedFieldCase{"RoundsAwayFromZero", -0.005, "(F4.2)", "-.01"},
        FixedFieldCase{"NoDecimalsRoundsUp", 0.7, "(F2.0)", "1."},
        FixedFieldCase{"SeventeenDigitsDecide", 9.995, "(F5.2)", " 9.99"},
        FixedFieldCase{"CarryIntoANewDigit", 99.995, "(F6.2)", "100.00"},
        FixedFieldCase{"NineDecimals", 0.2, "(F10.9)", ".200000000"},
        FixedFieldCase{"NineDecimalsCarry", -0.9999999999, "(F12.9)", "-1.000000000"},
        FixedFieldCase{"TenDecimals", 0.5, "(F12.10)", " .5000000000"},
        FixedFieldCase{"JustBelow2To52", 4503599627370495.5, "(F17.0)", "4503599627370496."},
        FixedFieldCase{"Exactly2To52", 0x1p52, "(F17.0)", "4503599627370496."},
        FixedFieldCase{"SixteenDigitsThenZeros", 0x1p63, "(F20.0)", "9223372036854776000."},
        FixedFieldCase{"NineteenDigits", 1234567890.5, "(F20.9)", "1234567890.500000000"},
        FixedFieldCase{"TwentyDigits", 12345678901.234567, "(F21.9)", "12345678901.234570000"},
        FixedFieldCase{"TwentyDigitsWhole", 1e19, "(F21.0)", "10000000000000000000."},
        FixedFieldCase{"FarTooWide", 1e300, "(F12.2)", "************"},
        FixedFieldCase{"SmallerThanTheLastDecimal", 0x1p-17, "(F4.2)", " .00"},
        FixedFieldCase{"FourZeroDecimals", 0x1p-16, "(F6.4)", " .0000"},
        FixedFieldCase{"Subnormal", 0x1p-1070, "(F4.2)", " .00"},
        FixedFieldCase{"TinyNegativeNoDecimals", -1e-300, "(F3.0)", " 0."}),
    [](const ::testing::TestParamInfo<FixedFieldCase>& row) { return row.param.label; });

TEST(FormatFixed, AllocatesNothing) {
    const double values[] = {12.345, -0.005, 0.0, 1e300, -DBL_MAX, DBL_TRUE_MIN, 0x1p-100, 2.5};
    long total = 0;
    for (const double x : values) {
        for (int d = 0; d <= 4; ++d) {
            const long before = allocationCount.load();
            const FormattedFixed text = formatFixed(x, d);
            total += allocationCount.load() - before;
            EXPECT_GT(text.length(), 0);
        }
    }
    EXPECT_EQ(total, 0);
}

// ---------------------------------------------------------------------------
// exactLeadingDigits on its own, over the whole exponent range.

TEST(ExactLeadingDigits, MatchesReferenceOnRandomDoubles) {
    Numbers numbers;
    std::vector<double> values;
    for (int i = 0; i < 60000; ++i) {
        // Every biased exponent equally often, random mantissa and sign.
        const std::uint64_t biased = numbers.below(2047);
        values.push_back(
            std::bit_cast<double>((numbers.next() & 0x800FFFFFFFFFFFFFu) | (biased << 52)));
    }
    expectLeadingDigitsMatch(values);
}

}  // namespace
}  // namespace gscmerge::textio
