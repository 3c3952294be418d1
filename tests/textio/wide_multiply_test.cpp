// The 64 x 64 -> 128-bit product in both its forms against an independent
// shift-and-add reference. Where the target has a 128-bit type, multiplyWide
// uses it, so the portable form, which 32-bit targets run, is checked against
// the native one here too.
#include "textio/wide_multiply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace gscmerge::textio {
namespace {

constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

static_assert(multiplyWidePortable(kAllOnes, kAllOnes) == WideProduct{kAllOnes - 1, 1});
static_assert(multiplyWidePortable(std::uint64_t{1} << 63, 6) == WideProduct{3, 0});
static_assert(multiplyWide(kAllOnes, kAllOnes) == WideProduct{kAllOnes - 1, 1});

// a x b one bit of b at a time, in two 64-bit halves.
WideProduct referenceProduct(std::uint64_t a, std::uint64_t b) {
    WideProduct sum;
    for (int bit = 0; bit < 64; ++bit) {
        if (((b >> bit) & 1) == 0) continue;
        const std::uint64_t low = bit == 0 ? a : a << bit;
        const std::uint64_t high = bit == 0 ? 0 : a >> (64 - bit);
        const std::uint64_t before = sum.low;
        sum.low += low;
        sum.high += high + (sum.low < before ? 1 : 0);
    }
    return sum;
}

std::string describe(std::uint64_t a, std::uint64_t b, const WideProduct& product) {
    char text[96];
    std::snprintf(text, sizeof(text), "%016llx x %016llx = %016llx %016llx",
                  static_cast<unsigned long long>(a), static_cast<unsigned long long>(b),
                  static_cast<unsigned long long>(product.high),
                  static_cast<unsigned long long>(product.low));
    return text;
}

// Counts the pairs whose products disagree, reporting the first few.
class Comparison {
public:
    void check(std::uint64_t a, std::uint64_t b) {
        const WideProduct expected = referenceProduct(a, b);
        const WideProduct portable = multiplyWidePortable(a, b);
        const WideProduct native = multiplyWide(a, b);
        if ((portable != expected || native != expected) && ++failures_ <= 10) {
            ADD_FAILURE() << "expected " << describe(a, b, expected) << "; portable "
                          << describe(a, b, portable) << "; native " << describe(a, b, native);
        }
    }
    [[nodiscard]] int failures() const { return failures_; }

private:
    int failures_ = 0;
};

// Every bit on its own and its neighbours, the half boundaries and the
// alternating patterns, where carries between the four partial products run.
std::vector<std::uint64_t> edgePatterns() {
    std::vector<std::uint64_t> patterns = {0,
                                           kAllOnes,
                                           0xFFFFFFFFu,
                                           0xFFFFFFFF00000000u,
                                           0x5555555555555555u,
                                           0xAAAAAAAAAAAAAAAAu,
                                           0x8000000080000000u,
                                           0x7FFFFFFF7FFFFFFFu,
                                           2384185791015625u,       // 5^22
                                           10000000000000000000u};  // 10^19
    for (int bit = 0; bit < 64; ++bit) {
        const std::uint64_t power = std::uint64_t{1} << bit;
        patterns.push_back(power);
        patterns.push_back(power - 1);
        patterns.push_back(power + 1);
        patterns.push_back(~power);
    }
    return patterns;
}

TEST(WideMultiply, BothFormsMatchTheReferenceOnEveryPairOfEdgePatterns) {
    const std::vector<std::uint64_t> patterns = edgePatterns();
    Comparison comparison;
    for (const std::uint64_t a : patterns) {
        for (const std::uint64_t b : patterns) comparison.check(a, b);
    }
    EXPECT_EQ(comparison.failures(), 0);
}

TEST(WideMultiply, BothFormsMatchTheReferenceOnRandomPairs) {
    std::mt19937_64 random(128);
    Comparison comparison;
    for (int i = 0; i < 200000; ++i) {
        const std::uint64_t a = random();
        const std::uint64_t b = random();
        comparison.check(a, b);
        // Short factors, as the decimal formatting uses them.
        comparison.check(a >> (random() % 64), b >> (random() % 64));
    }
    EXPECT_EQ(comparison.failures(), 0);
}

}  // namespace
}  // namespace gscmerge::textio
