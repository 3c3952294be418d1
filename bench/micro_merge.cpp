// Micro-benchmark of the star merge over one full region: 2,000 entries in
// stars of one to four, errors drawn from a few values so that ties and
// improvements follow no pattern (as in the generated catalogue).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "catalogue/raw_region.h"
#include "catalogue/star_merge.h"

namespace {

using gscmerge::catalogue::EntryTable;
using gscmerge::catalogue::StarTable;

// A small linear congruential generator: the same table on every run.
struct Draws {
    std::uint64_t state = 12345;
    std::uint32_t below(std::uint32_t n) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<std::uint32_t>(state >> 33) % n;
    }
};

void fillRegion(EntryTable& entries) {
    Draws draws;
    static constexpr double kPosErrors[] = {0.2, 0.3, 0.5};
    std::int32_t star = 0;
    std::int32_t left = 0;
    for (std::int32_t m = 1; m <= EntryTable::kCapacity; ++m) {
        if (left == 0) {
            ++star;
            left = 1 + static_cast<std::int32_t>(draws.below(4));
        }
        --left;
        auto& entry = entries.entry(m);
        entry.id = 10000 + star;
        entry.posError = kPosErrors[draws.below(3)];
        entry.magError = 0.05 * (1 + draws.below(8));
    }
    entries.entryCount = EntryTable::kCapacity;
}

void BM_MergeRegion(benchmark::State& state) {
    auto entries = std::make_unique<EntryTable>();
    auto stars = std::make_unique<StarTable>();
    fillRegion(*entries);
    for (auto _ : state) {
        gscmerge::catalogue::mergeStars(*entries, *stars);
        benchmark::DoNotOptimize(stars->starCount);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * EntryTable::kCapacity);
}
BENCHMARK(BM_MergeRegion);

}  // namespace

BENCHMARK_MAIN();
