// The fixed-column fast path against the general read statement: whenever
// the fast path takes a record, the statement must read the same values and
// leave the buffer at the same place; and it must take the plain records of
// the program's own layouts.
#include "textio/fixed_columns.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/memory_input.h"
#include "textio/input.h"

namespace gscmerge::textio {
namespace {

using testing::CapturedProcess;
using testing::MemoryInput;
using testing::ProcessOutcome;

constexpr char kEntryLayoutText[] =
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)";

// Plans for the readers compiled for one plan.
constexpr RecordLayout kEntryLayout = parseLayout(kEntryLayoutText);
constexpr ColumnPlan kEntryPlan = planColumns(kEntryLayout);
constexpr RecordLayout kFixedLayout = parseLayout("(F5.2)");
constexpr ColumnPlan kFixedPlan = planColumns(kFixedLayout);
constexpr RecordLayout kIntegerLayout = parseLayout("(I5)");
constexpr ColumnPlan kIntegerPlan = planColumns(kIntegerLayout);
// Fields at the record's very start and end, next to the skips and the
// one-character field that the compiled reader checks for line ends itself.
constexpr RecordLayout kEdgeLayout = parseLayout("(A1,I1,2X,F3.1,1X,A1)");
constexpr ColumnPlan kEdgePlan = planColumns(kEdgeLayout);

// The run-time reader, or the one compiled for the plan at hand.
using Reader = bool (*)(InputBuffer&, const ColumnPlan&, ColumnValue*);
template <const ColumnPlan& kPlan>
bool compiledReader(InputBuffer& buffer, const ColumnPlan& plan, ColumnValue* values) {
    EXPECT_EQ(&plan, &kPlan);
    return readColumns<kPlan>(buffer, values);
}

struct Outcome {
    bool read = false;                  // the record was read without a report
    std::vector<std::uint64_t> values;  // each value's bits
    std::string next;                   // the record after it, read with "(A)"
};

std::string nextRecord(InputBuffer& buffer) {
    static constexpr RecordLayout kLine = parseLayout("(A)");
    char text[80];
    InputStatement read(buffer, kLine);
    read.getText(text, sizeof(text));
    read.endRead();
    return std::string(text, sizeof(text));
}

Outcome readGeneral(const RecordLayout& layout, const ColumnPlan& plan, const std::string& data) {
    Outcome outcome;
    CapturedProcess process;
    const auto ending = process.run([&] {
        MemoryInput input(data);
        InputStatement read(input.buffer(), layout);
        for (std::int32_t f = 0; f < plan.count; ++f) {
            switch (plan.fields[f].kind) {
                case DescriptorKind::IntegerField: {
                    std::int32_t value = 0;
                    read.getInteger(value);
                    outcome.values.push_back(static_cast<std::uint32_t>(value));
                    break;
                }
                case DescriptorKind::FixedPointField: {
                    double value = 0.0;
                    read.getReal(value);
                    outcome.values.push_back(std::bit_cast<std::uint64_t>(value));
                    break;
                }
                default: {
                    char value = ' ';
                    read.getText(&value, 1);
                    outcome.values.push_back(static_cast<unsigned char>(value));
                    break;
                }
            }
        }
        read.endRead();
        outcome.next = nextRecord(input.buffer());
        outcome.read = true;
    });
    if (ending.ended) outcome.read = false;
    return outcome;
}

Outcome readFast(const ColumnPlan& plan, const std::string& data, Reader reader = tryReadColumns) {
    Outcome outcome;
    MemoryInput input(data);
    // Fill the block the way a statement would have before this record.
    (void)input.buffer().peekChar();
    ColumnValue values[ColumnPlan::kCapacity];
    if (!reader(input.buffer(), plan, values)) return outcome;
    for (std::int32_t f = 0; f < plan.count; ++f) {
        switch (plan.fields[f].kind) {
            case DescriptorKind::IntegerField:
                outcome.values.push_back(static_cast<std::uint32_t>(values[f].integer));
                break;
            case DescriptorKind::FixedPointField:
                outcome.values.push_back(std::bit_cast<std::uint64_t>(values[f].real));
                break;
            default:
                outcome.values.push_back(static_cast<unsigned char>(values[f].character));
                break;
        }
    }
    CapturedProcess process;
    (void)process.run([&] { outcome.next = nextRecord(input.buffer()); });
    outcome.read = true;
    return outcome;
}

// A deterministic generator of entry-like lines: mostly plain, with every
// character that changes how a field is read mixed in.
class Lines {
public:
    explicit Lines(std::uint64_t seed) : state_(seed) {}

    std::string next() {
        static const std::string kPlain =
            "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15";
        static const char kOdd[] = {' ', '0', '9',    '-',  '+',  '.', ',', '\t', 'E', 'd',
                                    '#', 'a', '\x1a', '\r', '\n', '5', '1', ' ',  '.', '-'};
        std::string line = kPlain;
        const int changes = static_cast<int>(draw(4));
        for (int i = 0; i < changes; ++i) {
            line[draw(line.size())] = kOdd[draw(sizeof(kOdd))];
        }
        if (draw(8) == 0) line.resize(draw(line.size()));
        line += draw(2) == 0 ? "\r\n" : "\n";
        return line + "after the record\n";
    }

private:
    std::size_t draw(std::size_t bound) {
        state_ += 0x9E3779B97F4A7C15u;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return static_cast<std::size_t>((z ^ (z >> 31)) % bound);
    }
    std::uint64_t state_;
};

TEST(FixedColumns, PlansTheProgramsLayouts) {
    static constexpr ColumnPlan kEntry = planColumns(parseLayout(kEntryLayoutText));
    static_assert(kEntry.usable && kEntry.count == 12 && kEntry.columns == 57);
    static_assert(kEntry.fields[4].start == 23 && kEntry.fields[4].width == 5 &&
                  kEntry.fields[4].decimals == 2);
    static constexpr ColumnPlan kCount = planColumns(parseLayout("(64X,I4)"));
    static_assert(kCount.usable && kCount.count == 1 && kCount.fields[0].start == 64);
    // Outside the fast path: literals, widthless A, no fields.
    static_assert(!planColumns(parseLayout("('x',I4)")).usable);
    static_assert(!planColumns(parseLayout("(A)")).usable);
    static_assert(!planColumns(parseLayout("(3X)")).usable);
    static_assert(!planColumns(parseLayout("(I4,Q)")).usable);
}

TEST(FixedColumns, TakesPlainEntryLinesWithTheStatementsValues) {
    static constexpr RecordLayout kLayout = parseLayout(kEntryLayoutText);
    static constexpr ColumnPlan kPlan = planColumns(kLayout);
    const std::string line =
        "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\nafter the record\n";
    const Outcome fast = readFast(kPlan, line);
    ASSERT_TRUE(fast.read);
    const Outcome general = readGeneral(kLayout, kPlan, line);
    EXPECT_EQ(fast.values, general.values);
    EXPECT_EQ(fast.next, general.next);
}

class EveryRecordItTakes : public ::testing::TestWithParam<Reader> {};

TEST_P(EveryRecordItTakes, AgreesWithTheStatement) {
    Lines lines(2026);
    int taken = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string data = lines.next();
        const Outcome fast = readFast(kEntryPlan, data, GetParam());
        const Outcome runTime = readFast(kEntryPlan, data);
        // Both readers take the same records.
        ASSERT_EQ(fast.read, runTime.read) << data;
        if (!fast.read) continue;
        ++taken;
        const Outcome general = readGeneral(kEntryLayout, kEntryPlan, data);
        ASSERT_TRUE(general.read) << "fast path took a record the statement rejects: " << data;
        ASSERT_EQ(fast.values, general.values) << data;
        ASSERT_EQ(fast.next, general.next) << data;
    }
    EXPECT_GT(taken, 5000);  // the sample must exercise the fast path
}

INSTANTIATE_TEST_SUITE_P(FixedColumns, EveryRecordItTakes,
                         ::testing::Values(Reader{tryReadColumns},
                                           Reader{compiledReader<kEntryPlan>}));

// Line ends and odd characters in every column of a short record whose
// fields touch its edges: both readers take the same records, with the
// statement's values.
TEST(FixedColumns, CompiledReaderChecksEveryColumnForLineEnds) {
    const std::string plain = "x5  1.2 y";
    const char odd[] = {'\r', '\n', ',', '\t', ' ', '.', '-', 'E'};
    int taken = 0;
    for (std::size_t column = 0; column <= plain.size(); ++column) {
        for (const char c : odd) {
            for (const char* end : {"\r\n", "\n", "\rtail\n", " tail\n"}) {
                std::string line = plain;
                if (column < line.size()) line[column] = c;
                const std::string data = line + end + "after the record\n";
                const Outcome fast = readFast(kEdgePlan, data, compiledReader<kEdgePlan>);
                const Outcome runTime = readFast(kEdgePlan, data);
                ASSERT_EQ(fast.read, runTime.read) << data;
                if (!fast.read) continue;
                ++taken;
                const Outcome general = readGeneral(kEdgeLayout, kEdgePlan, data);
                ASSERT_TRUE(general.read) << data;
                ASSERT_EQ(fast.values, general.values) << data;
                ASSERT_EQ(fast.next, general.next) << data;
            }
        }
    }
    EXPECT_GT(taken, 20);
}

constexpr ColumnPlan kFourDigits = planColumns(parseLayout("(I4)"));

TEST(FixedColumns, LeavesRecordsCrossingTheBlockToTheStatement) {
    static constexpr const ColumnPlan& kPlan = kFourDigits;
    MemoryInput input(std::string(1020, 'x') + "\n  12345\n", 1024);
    CapturedProcess process;
    (void)process.run([&] { (void)nextRecord(input.buffer()); });
    ColumnValue value[1];
    EXPECT_FALSE(tryReadColumns(input.buffer(), kPlan, value));
    EXPECT_EQ(input.buffer().unreadCount(), 3u);
    EXPECT_FALSE(readColumns<kFourDigits>(input.buffer(), value));
    EXPECT_EQ(input.buffer().unreadCount(), 3u);
}

// Records crossing the end of a block, with carry room in front of the
// block: wherever the block's end falls in the record, the fast path (taking
// the record, or leaving it to the statement) must read exactly what the
// statement alone reads, report what it reports, and make the same reads.
struct CrossingSource {
    std::string data;
    std::uint32_t blockSize;
    int goodBlocks = -1;  // refills after these fail; -1: none fails
};

struct CrossingRun {
    std::string transcript;  // each value's bits, then the next record
    ProcessOutcome process;
    int refills = 0;
    bool taken = false;  // the fast path took the record
};

constexpr std::uint32_t kCarry = 128;

// Reads the line before the record, the record (by `reader` first when one is
// given, by the statement when it declines), and the line after it.
CrossingRun readAcross(const CrossingSource& source, Reader reader) {
    MemoryInput input(source.data, source.blockSize, kCarry);
    if (source.goodBlocks >= 0) input.failAfterBlocks(source.goodBlocks);
    CrossingRun run;
    CapturedProcess process;
    run.process = process.run([&] {
        (void)nextRecord(input.buffer());
        ColumnValue values[ColumnPlan::kCapacity];
        run.taken = reader != nullptr && reader(input.buffer(), kEntryPlan, values);
        if (!run.taken) {
            InputStatement read(input.buffer(), kEntryLayout);
            for (std::int32_t f = 0; f < kEntryPlan.count; ++f) {
                switch (kEntryPlan.fields[f].kind) {
                    case DescriptorKind::IntegerField:
                        read.getInteger(values[f].integer);
                        break;
                    case DescriptorKind::FixedPointField:
                        read.getReal(values[f].real);
                        break;
                    default:
                        read.getText(&values[f].character, 1);
                        break;
                }
            }
            read.endRead();
        }
        for (std::int32_t f = 0; f < kEntryPlan.count; ++f) {
            switch (kEntryPlan.fields[f].kind) {
                case DescriptorKind::IntegerField:
                    run.transcript += std::to_string(values[f].integer) + "|";
                    break;
                case DescriptorKind::FixedPointField:
                    run.transcript +=
                        std::to_string(std::bit_cast<std::uint64_t>(values[f].real)) + "|";
                    break;
                default:
                    run.transcript += std::string(1, values[f].character) + "|";
                    break;
            }
        }
        run.transcript += nextRecord(input.buffer());
    });
    run.refills = input.refills();
    return run;
}

class AcrossTheBlockEnd : public ::testing::TestWithParam<Reader> {};

TEST_P(AcrossTheBlockEnd, ReadsAndReportsAsTheStatementAlone) {
    Lines lines(77);
    int crossingTaken = 0;
    int cases = 0;
    auto compare = [&](const CrossingSource& source, bool crosses) {
        const CrossingRun fast = readAcross(source, GetParam());
        const CrossingRun general = readAcross(source, nullptr);
        ++cases;
        if (fast.taken && crosses) ++crossingTaken;
        ASSERT_EQ(fast.transcript, general.transcript) << source.data;
        ASSERT_EQ(fast.process.err, general.process.err) << source.data;
        ASSERT_EQ(fast.process.ended, general.process.ended) << source.data;
        ASSERT_EQ(fast.refills, general.refills) << source.data;
    };
    for (int i = 0; i < 150; ++i) {
        const std::string withNext = lines.next();
        const std::string record = withNext.substr(0, withNext.find('\n') + 1);
        for (const std::uint32_t blockSize : {1024u, 61u, 7u}) {
            // The block's end falls `offset` bytes into the record: after the
            // line before it (at least its line feed), the record starts
            // `blockSize - offset % blockSize` bytes into the data.
            for (std::size_t offset = 0; offset <= record.size(); ++offset) {
                const std::size_t start = blockSize - offset % blockSize;
                const std::string before = std::string(start - 1, 'x') + "\n";
                const bool crosses = offset > 0 && offset < record.size();
                compare({before + withNext, blockSize}, crosses);
                // The read of the block after the record's start fails, or
                // the one after that.
                const int blocksBefore = static_cast<int>((start + blockSize - 1) / blockSize);
                compare({before + withNext, blockSize, blocksBefore}, false);
                compare({before + withNext, blockSize, blocksBefore + 1}, false);
                // The data ends at the block's end, `offset` bytes into the
                // record: with its line feed, without it, or earlier still.
                compare(
                    {std::string(blockSize - 1, 'x') + "\n" + record.substr(0, offset), blockSize},
                    false);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
    }
    EXPECT_GT(crossingTaken, cases / 20);  // the sweep must take crossing records
}

INSTANTIATE_TEST_SUITE_P(FixedColumns, AcrossTheBlockEnd,
                         ::testing::Values(Reader{tryReadColumns},
                                           Reader{compiledReader<kEntryPlan>}));

// Every text of a small alphabet in F5.2 and I5 fields: where the fast path
// takes the field, the statement reads the same bits.
TEST(FixedColumns, AgreesOnEveryShortFieldText) {
    const std::string alphabet = " 059.-+";
    int taken = 0;
    CapturedProcess process;
    const auto ending = process.run([&] {
        std::string field(5, ' ');
        for (int code = 0; code < 7 * 7 * 7 * 7 * 7; ++code) {
            for (int i = 0, rest = code; i < 5; ++i, rest /= 7) {
                field[static_cast<std::size_t>(i)] = alphabet[static_cast<std::size_t>(rest % 7)];
            }
            const std::string data = field + "\n";
            // The run-time reader and the compiled one take the same texts
            // with the same values, and those are the statement's.
            auto take = [&data](Reader reader, const ColumnPlan& plan, ColumnValue* value) {
                MemoryInput fast(data);
                (void)fast.buffer().peekChar();
                return reader(fast.buffer(), plan, value);
            };
            ColumnValue value[1];
            ColumnValue compiled[1];
            const bool fixedTaken = take(tryReadColumns, kFixedPlan, value);
            ASSERT_EQ(take(compiledReader<kFixedPlan>, kFixedPlan, compiled), fixedTaken)
                << "[" << field << "]";
            if (fixedTaken) {
                ++taken;
                MemoryInput general(data);
                double expected = 0.0;
                InputStatement read(general.buffer(), kFixedLayout);
                read.getReal(expected);
                read.endRead();
                ASSERT_EQ(std::bit_cast<std::uint64_t>(value[0].real),
                          std::bit_cast<std::uint64_t>(expected))
                    << "[" << field << "]";
                ASSERT_EQ(std::bit_cast<std::uint64_t>(compiled[0].real),
                          std::bit_cast<std::uint64_t>(expected))
                    << "[" << field << "]";
            }
            const bool integerTaken = take(tryReadColumns, kIntegerPlan, value);
            ASSERT_EQ(take(compiledReader<kIntegerPlan>, kIntegerPlan, compiled), integerTaken)
                << "[" << field << "]";
            if (integerTaken) {
                MemoryInput general(data);
                std::int32_t expected = 0;
                InputStatement read(general.buffer(), kIntegerLayout);
                read.getInteger(expected);
                read.endRead();
                ASSERT_EQ(value[0].integer, expected) << "[" << field << "]";
                ASSERT_EQ(compiled[0].integer, expected) << "[" << field << "]";
            }
        }
    });
    EXPECT_FALSE(ending.ended) << ending.err;
    EXPECT_GT(taken, 1000);
}

// Single fields of every width the word-at-a-time reading handles, at the
// start of the record and with the record filling its block to the last byte:
// every text of a small alphabet (random ones for the widest fields) read
// through the compiled reader must give the general read's bits.
constexpr RecordLayout kI1 = parseLayout("(I1)");
constexpr ColumnPlan kI1Plan = planColumns(kI1);
constexpr RecordLayout kI2 = parseLayout("(I2)");
constexpr ColumnPlan kI2Plan = planColumns(kI2);
constexpr RecordLayout kI3 = parseLayout("(I3)");
constexpr ColumnPlan kI3Plan = planColumns(kI3);
constexpr RecordLayout kI7 = parseLayout("(I7)");
constexpr ColumnPlan kI7Plan = planColumns(kI7);
constexpr RecordLayout kI8 = parseLayout("(I8)");
constexpr ColumnPlan kI8Plan = planColumns(kI8);
constexpr RecordLayout kF31 = parseLayout("(F3.1)");
constexpr ColumnPlan kF31Plan = planColumns(kF31);
constexpr RecordLayout kF41 = parseLayout("(F4.1)");
constexpr ColumnPlan kF41Plan = planColumns(kF41);
constexpr RecordLayout kF42 = parseLayout("(F4.2)");
constexpr ColumnPlan kF42Plan = planColumns(kF42);
constexpr RecordLayout kF63 = parseLayout("(F6.3)");
constexpr ColumnPlan kF63Plan = planColumns(kF63);
constexpr RecordLayout kF80 = parseLayout("(F8.0)");
constexpr ColumnPlan kF80Plan = planColumns(kF80);
constexpr RecordLayout kF84 = parseLayout("(F8.4)");
constexpr ColumnPlan kF84Plan = planColumns(kF84);

template <const ColumnPlan& kPlan>
int sweepField(const RecordLayout& layout, std::size_t width) {
    const std::string alphabet = " 019.-";
    std::vector<std::string> texts;
    if (width <= 5) {
        std::size_t total = 1;
        for (std::size_t i = 0; i < width; ++i) total *= alphabet.size();
        for (std::size_t code = 0; code < total; ++code) {
            std::string text(width, ' ');
            for (std::size_t i = 0, rest = code; i < width; ++i, rest /= alphabet.size()) {
                text[i] = alphabet[rest % alphabet.size()];
            }
            texts.push_back(text);
        }
    } else {
        std::uint64_t state = width;
        for (int n = 0; n < 6000; ++n) {
            std::string text(width, ' ');
            for (char& c : text) {
                state = state * 6364136223846793005u + 1442695040888963407u;
                // Mostly digits and blanks, so that plain texts are common.
                const auto pick = static_cast<std::size_t>((state >> 33) % 10);
                c = pick < 6 ? static_cast<char>('0' + pick) : alphabet[pick - 6];
            }
            texts.push_back(text);
        }
    }
    int taken = 0;
    for (const std::string& text : texts) {
        const std::string data = text + "\nnext\n";
        for (const std::uint32_t block : {1024u, static_cast<std::uint32_t>(width + 1)}) {
            MemoryInput input(data, block);
            (void)input.buffer().peekChar();
            ColumnValue value[1];
            if (!readColumns<kPlan>(input.buffer(), value)) continue;
            ++taken;
            const Outcome general = readGeneral(layout, kPlan, data);
            EXPECT_TRUE(general.read) << "[" << text << "]";
            const std::uint64_t bits =
                kPlan.fields[0].kind == DescriptorKind::IntegerField
                    ? static_cast<std::uint32_t>(value[0].integer)
                    : std::bit_cast<std::uint64_t>(value[0].real);
            EXPECT_EQ(std::vector<std::uint64_t>{bits}, general.values) << "[" << text << "]";
            if (::testing::Test::HasFailure()) return taken;
        }
    }
    return taken;
}

TEST(FixedColumns, EveryWidthOfPlainFieldReadsAsTheStatementDoes) {
    EXPECT_GT(sweepField<kI1Plan>(kI1, 1), 0);
    EXPECT_GT(sweepField<kI2Plan>(kI2, 2), 0);
    EXPECT_GT(sweepField<kI3Plan>(kI3, 3), 0);
    EXPECT_GT(sweepField<kI7Plan>(kI7, 7), 0);
    EXPECT_GT(sweepField<kI8Plan>(kI8, 8), 0);
    EXPECT_GT(sweepField<kF31Plan>(kF31, 3), 0);
    EXPECT_GT(sweepField<kF41Plan>(kF41, 4), 0);
    EXPECT_GT(sweepField<kF42Plan>(kF42, 4), 0);
    EXPECT_GT(sweepField<kF63Plan>(kF63, 6), 0);
    EXPECT_GT(sweepField<kF80Plan>(kF80, 8), 0);
    EXPECT_GT(sweepField<kF84Plan>(kF84, 8), 0);
}

}  // namespace
}  // namespace gscmerge::textio
