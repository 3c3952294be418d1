// The conversion allocates nothing per region, per entry line or per star:
// its tables, buffers and statements live in fixed storage. Counted by
// replacing the global allocation functions of this test program and running
// the whole batch in-process on a small and on a large catalogue.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "catalogue/batch.h"
#include "tests/app/catalogue_files.h"
#include "tests/support/captured_process.h"
#include "tests/support/temp_dir.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
    throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace gscmerge::testing {
namespace {

// A region of `stars` stars, two entries each.
std::string region(long number, int stars) {
    std::vector<std::string> lines;
    for (int star = 1; star <= stars; ++star) {
        lines.push_back(
            entryLine(number, star, "01 02 03.45", "-04 05 06.7", "0.3", "12.34", "0.15"));
        lines.push_back(
            entryLine(number, star, "01 02 03.46", "-04 05 06.8", "0.2", "12.35", "0.25"));
    }
    return rawFile(std::to_string(lines.size()), lines);
}

// Allocations made while converting `regions` regions of `stars` stars.
long allocationsFor(int regions, int stars) {
    TempDir dir;
    std::vector<std::string> names;
    for (int r = 1; r <= regions; ++r) {
        const std::string base = "R" + std::to_string(r);
        names.push_back("  " + base);
        writeFile(base + ".raw", region(r, stars));
    }
    writeFile("merlode.ins", instructionFile(names));
    CapturedProcess process;
    std::function<void()> body = [] { catalogue::runBatch(); };
    const long before = allocations.load();
    const ProcessOutcome outcome = process.run(body);
    const long during = allocations.load() - before;
    EXPECT_FALSE(outcome.ended) << outcome.err << outcome.out;
    return during;
}

TEST(Allocation, NoneDependsOnRegionsEntriesOrStars) {
    const long small = allocationsFor(1, 1);
    const long large = allocationsFor(5, 1000);  // 10,000 entry lines, 5,000 stars
    EXPECT_EQ(small, large);
    EXPECT_EQ(large, 0);
}

}  // namespace
}  // namespace gscmerge::testing
