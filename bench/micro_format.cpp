// Micro-benchmarks of field writing: the fixed-point and integer texts alone,
// and one whole 43-column star record placed into a buffer.
//
//     micro_format --benchmark_min_time=0.5
//
// Each fixed-point benchmark cycles through 4096 values of one kind, so that
// branch prediction cannot learn a single value.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "textio/decimal_format.h"
#include "textio/layout.h"
#include "textio/output.h"
#include "textio/output_buffer.h"

namespace {

using gscmerge::textio::formatFixed;
using gscmerge::textio::formatInteger;
using gscmerge::textio::FormattedFixed;

constexpr std::size_t kValues = 4096;

std::vector<double> valuesBetween(double low, double high) {
    std::mt19937_64 engine(7);
    std::uniform_real_distribution<double> pick(low, high);
    std::vector<double> values(kValues);
    for (double& value : values) value = pick(engine);
    return values;
}

// formatFixed and the writing of its text into a field, as a record does.
void formatAndWrite(benchmark::State& state, const std::vector<double>& values,
                    std::int32_t decimals) {
    char field[512];
    std::size_t i = 0;
    for (auto _ : state) {
        const FormattedFixed text = formatFixed(values[i++ & (kValues - 1)], decimals);
        std::size_t length = 0;
        text.write([&](char c) { field[length++] = c; });
        benchmark::DoNotOptimize(field);
        benchmark::DoNotOptimize(length);
    }
    state.SetItemsProcessed(state.iterations());
}

// The star record's own fields: fractions of a second (F3.2, F2.1) and
// magnitudes (F5.2).
void FormatFixed_Fraction(benchmark::State& state) {
    static const std::vector<double> values = valuesBetween(0.0, 1.0);
    formatAndWrite(state, values, 2);
}
BENCHMARK(FormatFixed_Fraction);

void FormatFixed_Magnitude(benchmark::State& state) {
    static const std::vector<double> values = valuesBetween(-2.0, 22.0);
    formatAndWrite(state, values, 2);
}
BENCHMARK(FormatFixed_Magnitude);

// Twelve-column fields with four decimals.
void FormatFixed_Wide(benchmark::State& state) {
    static const std::vector<double> values = valuesBetween(-1e6, 1e6);
    formatAndWrite(state, values, 4);
}
BENCHMARK(FormatFixed_Wide);

// Values far outside any field: the long exact path (asterisks in practice).
void FormatFixed_Huge(benchmark::State& state) {
    static const std::vector<double> values = valuesBetween(1e200, 1e300);
    formatAndWrite(state, values, 2);
}
BENCHMARK(FormatFixed_Huge);

void FormatInteger(benchmark::State& state) {
    std::mt19937 engine(7);
    std::vector<std::int32_t> values(kValues);
    for (std::int32_t& value : values) value = static_cast<std::int32_t>(engine() % 20000) - 10000;
    std::size_t i = 0;
    for (auto _ : state) {
        const auto text = formatInteger(values[i++ & (kValues - 1)], 1);
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(FormatInteger);

// One star record statement: parse-free (the layout is parsed once, as the
// program's layouts are), 18 items, placed into a 1024-byte buffer whose
// full blocks go nowhere.
void StarRecord(benchmark::State& state) {
    static constexpr gscmerge::textio::RecordLayout kStarLayout = gscmerge::textio::parseLayout(
        "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)");
    char block[1024];
    gscmerge::textio::OutputBuffer buffer(
        block, sizeof(block),
        [](void*, const char* bytes, std::size_t) { benchmark::DoNotOptimize(bytes); }, nullptr);
    static const std::vector<double> fractions = valuesBetween(0.0, 1.0);
    std::size_t i = 0;
    for (auto _ : state) {
        const double fraction = fractions[i++ & (kValues - 1)];
        gscmerge::textio::OutputStatement write(buffer, "bench", kStarLayout);
        write.putInteger(1234);
        write.putInteger(56);
        for (std::int32_t digit = 0; digit < 6; ++digit) write.putInteger(digit);
        write.putReal(fraction);
        write.putText("-", 1);
        for (std::int32_t digit = 0; digit < 6; ++digit) write.putInteger(digit);
        write.putReal(fraction);
        write.putReal(12.34);
        write.endWrite();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StarRecord);

}  // namespace

BENCHMARK_MAIN();
