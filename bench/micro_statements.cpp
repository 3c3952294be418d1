// Micro-benchmarks of the per-line paths: one entry-line read statement, one
// star-record write statement, and parsing the layouts they use.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "textio/input.h"
#include "textio/layout.h"
#include "textio/output.h"
#include "textio/record_statements.h"

namespace {

using gscmerge::textio::InputBuffer;
using gscmerge::textio::InputStatement;
using gscmerge::textio::OutputBuffer;
using gscmerge::textio::OutputStatement;
using gscmerge::textio::parseLayout;
using gscmerge::textio::RecordLayout;

constexpr char kEntryLayoutText[] =
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)";
constexpr char kStarLayoutText[] =
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)";
constexpr char kEntryLine[] = "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\n";

// An endless stream of the same entry line, served in 1024-byte blocks.
struct RepeatedLines {
    std::string pattern;
    std::size_t offset = 0;

    static std::ptrdiff_t refill(void* source, char* block, std::size_t capacity) {
        auto& self = *static_cast<RepeatedLines*>(source);
        std::size_t filled = 0;
        while (filled < capacity) {
            const std::size_t part = std::min(capacity - filled, self.pattern.size() - self.offset);
            std::memcpy(block + filled, self.pattern.data() + self.offset, part);
            filled += part;
            self.offset = (self.offset + part) % self.pattern.size();
        }
        return static_cast<std::ptrdiff_t>(capacity);
    }
};

void BM_ReadEntryLine(benchmark::State& state) {
    static constexpr RecordLayout kLayout = parseLayout(kEntryLayoutText);
    RepeatedLines lines{kEntryLine};
    char block[1024];
    InputBuffer buffer(block, sizeof(block), RepeatedLines::refill, &lines, "bench");
    for (auto _ : state) {
        std::int32_t region, star, hours, minutes, degrees, arcminutes;
        double seconds, arcseconds, posError, magnitude, magError;
        char sign[1];
        InputStatement read(buffer, kLayout);
        read.getInteger(region);
        read.getInteger(star);
        read.getInteger(hours);
        read.getInteger(minutes);
        read.getReal(seconds);
        read.getText(sign, 1);
        read.getInteger(degrees);
        read.getInteger(arcminutes);
        read.getReal(arcseconds);
        read.getReal(posError);
        read.getReal(magnitude);
        read.getReal(magError);
        read.endRead();
        benchmark::DoNotOptimize(region + star + hours + minutes + degrees + arcminutes);
        benchmark::DoNotOptimize(seconds + arcseconds + posError + magnitude + magError);
    }
}
BENCHMARK(BM_ReadEntryLine);

void discard(void*, const char*, std::size_t) {}

// The items of the record 'GSC 1234:  56 01 02 03.45 -01 02 03.7 12.34'.
void putStarRecord(OutputStatement& write) {
    static constexpr std::int32_t kDigits[6] = {0, 1, 0, 2, 0, 3};
    const char sign = '-';
    write.putInteger(1234);
    write.putInteger(56);
    for (const std::int32_t digit : kDigits) write.putInteger(digit);
    write.putReal(0.44999996304977685);
    write.putText(&sign, 1);
    for (const std::int32_t digit : kDigits) write.putInteger(digit);
    write.putReal(0.6999999843537807);
    write.putReal(12.340000000000002);
    write.endWrite();
}

void BM_WriteStarRecord(benchmark::State& state) {
    static constexpr RecordLayout kLayout = parseLayout(kStarLayoutText);
    char block[1024];
    OutputBuffer buffer(block, sizeof(block), discard, nullptr);
    for (auto _ : state) {
        OutputStatement write(buffer, "bench", kLayout);
        putStarRecord(write);
    }
}
BENCHMARK(BM_WriteStarRecord);

// The same line through the typed statement over the compiled entry layout,
// as the program reads it.
constexpr auto kEntry = gscmerge::textio::compileLayout<
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)">();

void BM_ReadEntryLineTyped(benchmark::State& state) {
    RepeatedLines lines{kEntryLine};
    char block[128 + 1024];
    InputBuffer buffer(block + 128, 1024, RepeatedLines::refill, &lines, "bench", 128);
    for (auto _ : state) {
        std::int32_t region, star, hours, minutes, degrees, arcminutes;
        double seconds, arcseconds, posError, magnitude, magError;
        char sign;
        gscmerge::textio::readRecord(buffer, kEntry, region, star, hours, minutes, seconds, sign,
                                     degrees, arcminutes, arcseconds, posError, magnitude,
                                     magError);
        benchmark::DoNotOptimize(region + star + hours + minutes + degrees + arcminutes + sign);
        benchmark::DoNotOptimize(seconds + arcseconds + posError + magnitude + magError);
    }
}
BENCHMARK(BM_ReadEntryLineTyped);

// The star record through the typed statement over the compiled star layout,
// as the program writes it.
constexpr auto kStar = gscmerge::textio::compileLayout<
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)">();

void BM_WriteStarRecordTyped(benchmark::State& state) {
    char block[1024];
    OutputBuffer buffer(block, sizeof(block), discard, nullptr);
    for (auto _ : state) {
        gscmerge::textio::writeRecord(buffer, "bench", kStar, 1234, 56, 0, 1, 0, 2, 0, 3,
                                      0.44999996304977685, '-', 0, 1, 0, 2, 0, 3,
                                      0.6999999843537807, 12.340000000000002);
    }
}
BENCHMARK(BM_WriteStarRecordTyped);

void BM_ParseEntryLayout(benchmark::State& state) {
    const std::string text = kEntryLayoutText;
    for (auto _ : state) {
        const RecordLayout layout = parseLayout(text);
        benchmark::DoNotOptimize(layout.count);
    }
}
BENCHMARK(BM_ParseEntryLayout);

}  // namespace

BENCHMARK_MAIN();
