// The typed read statement against the general read statement: for every
// input, `readRecord` over a compiled layout must read the same values,
// leave the buffer at the same place, make the same reads and report what the
// statement reports, whether its fast path (the column readers) takes the
// record or leaves it. The fast path must also take the plain records of the
// program's own layouts, or these comparisons would prove little.
#include "textio/fixed_columns.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/support/captured_process.h"
#include "tests/support/memory_input.h"
#include "textio/input.h"
#include "textio/record_statements.h"

namespace gscmerge::textio {
namespace {

using testing::CapturedProcess;
using testing::MemoryInput;
using testing::ProcessOutcome;

constexpr auto kEntry =
    compileLayout<"(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)">();
using EntryLayout = std::remove_const_t<decltype(kEntry)>;

// The item a field of a compiled layout takes.
template <class Layout, std::size_t kField>
using ItemOf = std::conditional_t<
    Layout::columns.fields[kField].kind == DescriptorKind::IntegerField, std::int32_t,
    std::conditional_t<Layout::columns.fields[kField].kind == DescriptorKind::FixedPointField,
                       double, char>>;

template <class Layout>
using FieldIndex = std::make_index_sequence<static_cast<std::size_t>(Layout::columns.count)>;

template <class Item>
std::uint64_t bitsOf(const Item& item) {
    if constexpr (std::is_same_v<Item, double>) {
        return std::bit_cast<std::uint64_t>(item);
    } else if constexpr (std::is_same_v<Item, std::int32_t>) {
        return static_cast<std::uint32_t>(item);
    } else {
        return static_cast<unsigned char>(item);
    }
}

// One record by the typed statement, one item per field.
template <class Layout, std::size_t... kFields>
std::vector<std::uint64_t> readTyped(InputBuffer& buffer, std::index_sequence<kFields...>) {
    static constexpr Layout kLayout{};
    std::tuple<ItemOf<Layout, kFields>...> items{};
    std::apply([&](auto&... item) { readRecord(buffer, kLayout, item...); }, items);
    return {bitsOf(std::get<kFields>(items))...};
}

// Whether the column readers alone take the record (nothing is taken when
// they do not).
template <class Layout, std::size_t... kFields>
bool takenByColumns(InputBuffer& buffer, std::index_sequence<kFields...>) {
    std::tuple<ItemOf<Layout, kFields>...> items{};
    return std::apply([&](auto&... item) { return readColumns<Layout::columns>(buffer, item...); },
                      items);
}

// One record by the general statement, with the same items.
template <class Layout>
std::vector<std::uint64_t> readGeneral(InputBuffer& buffer) {
    std::vector<std::uint64_t> values;
    InputStatement read(buffer, Layout::layout);
    for (std::int32_t f = 0; f < Layout::columns.count; ++f) {
        switch (Layout::columns.fields[f].kind) {
            case DescriptorKind::IntegerField: {
                std::int32_t value = 0;
                read.getInteger(value);
                values.push_back(bitsOf(value));
                break;
            }
            case DescriptorKind::FixedPointField: {
                double value = 0.0;
                read.getReal(value);
                values.push_back(bitsOf(value));
                break;
            }
            default: {
                char value = ' ';
                read.getText(&value, 1);
                values.push_back(bitsOf(value));
                break;
            }
        }
    }
    read.endRead();
    return values;
}

std::string nextRecord(InputBuffer& buffer) {
    static constexpr auto kLine = compileLayout<"(A)">();
    char text[80];
    readRecord(buffer, kLine, text);
    return std::string(text, sizeof(text));
}

// What a reading shows: the values, the record after it, the report, the
// reads made.
struct Reading {
    std::vector<std::uint64_t> values;
    std::string next;
    ProcessOutcome process;
    int refills = 0;
    bool taken = false;  // the column readers took the record (typed reading only)
};

struct Source {
    std::string data;
    std::uint32_t blockSize = 1024;
    int goodBlocks = -1;  // refills after these fail; -1: none fails
    std::uint32_t carry = 128;
};

// Reads the line before the record (when `skipFirst`), the record, and the
// line after it.
template <class Layout>
Reading readSource(const Source& source, bool typed, bool skipFirst) {
    MemoryInput input(source.data, source.blockSize, source.carry);
    if (source.goodBlocks >= 0) input.failAfterBlocks(source.goodBlocks);
    Reading reading;
    CapturedProcess process;
    reading.process = process.run([&] {
        if (skipFirst) (void)nextRecord(input.buffer());
        if (typed) {
            // Whether the column readers take it, on a copy of the input.
            MemoryInput probe(source.data, source.blockSize, source.carry);
            if (skipFirst) (void)nextRecord(probe.buffer());
            reading.taken = takenByColumns<Layout>(probe.buffer(), FieldIndex<Layout>{});
            reading.values = readTyped<Layout>(input.buffer(), FieldIndex<Layout>{});
        } else {
            reading.values = readGeneral<Layout>(input.buffer());
        }
        reading.next = nextRecord(input.buffer());
    });
    reading.refills = input.refills();
    return reading;
}

// Compares the two readings of one source; true when the fast path took it.
template <class Layout>
bool expectSameReading(const Source& source, bool skipFirst = false) {
    const Reading typed = readSource<Layout>(source, true, skipFirst);
    const Reading general = readSource<Layout>(source, false, skipFirst);
    EXPECT_EQ(typed.values, general.values) << source.data;
    EXPECT_EQ(typed.next, general.next) << source.data;
    EXPECT_EQ(typed.process.err, general.process.err) << source.data;
    EXPECT_EQ(typed.process.ended, general.process.ended) << source.data;
    EXPECT_EQ(typed.refills, general.refills) << source.data;
    return typed.taken;
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

TEST(ReadRecord, EntryLineGivesItsTwelveFields) {
    MemoryInput input("    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\nnext\n");
    std::int32_t region = 0, star = 0, hours = 0, minutes = 0, degrees = 0, arcminutes = 0;
    double seconds = 0, arcseconds = 0, posError = 0, magnitude = 0, magError = 0;
    char sign = ' ';
    readRecord(input.buffer(), kEntry, region, star, hours, minutes, seconds, sign, degrees,
               arcminutes, arcseconds, posError, magnitude, magError);
    EXPECT_EQ(region, 1234);
    EXPECT_EQ(star, 56);
    EXPECT_EQ(hours, 1);
    EXPECT_EQ(minutes, 2);
    EXPECT_EQ(seconds, 3.45);
    EXPECT_EQ(sign, '-');
    EXPECT_EQ(degrees, 4);
    EXPECT_EQ(arcminutes, 5);
    EXPECT_EQ(arcseconds, 6.7);
    EXPECT_EQ(posError, 0.3);
    EXPECT_EQ(magnitude, 12.34);
    EXPECT_EQ(magError, 0.15);
    EXPECT_EQ(nextRecord(input.buffer()).substr(0, 5), "next ");
}

// Layouts the fast path does not take (a literal would be an error, a
// widthless A, a field wider than the columns it may use) still read as the
// statement reads them.
TEST(ReadRecord, LayoutsOutsideTheFastPathReadAsTheStatement) {
    static constexpr auto kCount = compileLayout<"(64X,I4)">();
    static constexpr auto kWhole = compileLayout<"(A)">();
    static constexpr auto kInstruction = compileLayout<"(A2, 8A1)">();
    MemoryInput input(std::string(64, 'x') + " 123\nN0001.raw\nEN\n");
    std::int32_t count = 0;
    readRecord(input.buffer(), kCount, count);
    EXPECT_EQ(count, 123);
    char name[12];
    readRecord(input.buffer(), kWhole, name);
    EXPECT_EQ(std::string(name, 12), "N0001.raw   ");
    char code[2];
    char cells[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    readRecord(input.buffer(), kInstruction, code, cells[0], cells[1], cells[2], cells[3], cells[4],
               cells[5], cells[6], cells[7]);
    EXPECT_EQ(std::string(code, 2), "EN");
    EXPECT_EQ(std::string(cells, 8), "        ");
}

// What must not compile: items of the wrong kind, a temporary layout, a read
// layout with a literal.
template <class Layout, class... Items>
concept Readable = requires(InputBuffer& buffer, const Layout& layout, Items&... items) {
    readRecord(buffer, layout, items...);
};
template <class... Items>
concept ReadableFromTemporary = requires(InputBuffer& buffer, Items&... items) {
    readRecord(buffer, compileLayout<"(I4,F5.2)">(), items...);
};
using IntegerAndReal = CompiledLayout<"(I4,F5.2)">;
static_assert(Readable<IntegerAndReal, std::int32_t, double>);
static_assert(!Readable<IntegerAndReal, double, double>);
static_assert(!Readable<IntegerAndReal, std::int32_t, std::int32_t>);
static_assert(!Readable<IntegerAndReal, std::int32_t, double, double>);  // meets the I again
static_assert(Readable<IntegerAndReal, std::int32_t, double, std::int32_t>);
static_assert(!Readable<IntegerAndReal, long long, double>);
static_assert(!Readable<IntegerAndReal, const std::int32_t, double>);
static_assert(!ReadableFromTemporary<std::int32_t, double>);
static_assert(!Readable<CompiledLayout<"('x',I4)">, std::int32_t>);
static_assert(Readable<CompiledLayout<"(A)">, char[12]>);
static_assert(!Readable<CompiledLayout<"(A)">, std::int32_t>);
static_assert(!Readable<CompiledLayout<"(2X)">, std::int32_t>);

TEST(ReadRecord, EntryLinesReadAsByTheStatement) {
    Lines lines(2026);
    int taken = 0;
    for (int i = 0; i < 20000; ++i) {
        if (expectSameReading<EntryLayout>({lines.next()})) ++taken;
        if (HasFailure()) return;
    }
    EXPECT_GT(taken, 5000);  // the sample must exercise the fast path
}

// Line ends and odd characters in every column of records whose fields
// touch their edges, next to the skips and one-character fields that the
// fast path checks for line ends itself: a short record (read a column at a
// time) and one of 21 columns (read sixteen columns at a time).
constexpr auto kShortEdges = compileLayout<"(A1,I1,2X,F3.1,1X,A1)">();
constexpr auto kLongEdges = compileLayout<"(A1,I1,2X,F3.1,1X,A1,I8,F4.2)">();

template <class Layout>
int sweepEdges(const std::string& plain) {
    const char odd[] = {'\r', '\n', ',', '\t', ' ', '.', '-', 'E', '0'};
    int taken = 0;
    for (std::size_t column = 0; column <= plain.size(); ++column) {
        for (const char c : odd) {
            for (const char* end : {"\r\n", "\n", "\rtail\n", " tail\n"}) {
                std::string line = plain;
                if (column < line.size()) line[column] = c;
                if (expectSameReading<Layout>({line + end + "after the record\n"})) ++taken;
                if (::testing::Test::HasFailure()) return taken;
            }
        }
    }
    return taken;
}

TEST(ReadRecord, ChecksEveryColumnForLineEnds) {
    EXPECT_GT(sweepEdges<std::remove_const_t<decltype(kShortEdges)>>("x5  1.2 y"), 20);
    EXPECT_GT(sweepEdges<std::remove_const_t<decltype(kLongEdges)>>("x5  1.2 y    12340.25"), 20);
}

// Records crossing the end of a block, with carry room in front of the
// block: wherever the block's end falls in the record, the typed statement
// (its fast path taking the record, or leaving it to the statement) must
// read exactly what the statement alone reads, report what it reports, and
// make the same reads.
TEST(ReadRecord, AcrossTheBlockEndReadsAndReportsAsTheStatement) {
    Lines lines(77);
    int crossingTaken = 0;
    int cases = 0;
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
                ++cases;
                if (expectSameReading<EntryLayout>({before + withNext, blockSize}, true) &&
                    crosses) {
                    ++crossingTaken;
                }
                // The read of the block after the record's start fails, or
                // the one after that.
                const int blocksBefore = static_cast<int>((start + blockSize - 1) / blockSize);
                expectSameReading<EntryLayout>({before + withNext, blockSize, blocksBefore}, true);
                expectSameReading<EntryLayout>({before + withNext, blockSize, blocksBefore + 1},
                                               true);
                // The data ends at the block's end, `offset` bytes into the
                // record: with its line feed, without it, or earlier still.
                expectSameReading<EntryLayout>(
                    {std::string(blockSize - 1, 'x') + "\n" + record.substr(0, offset), blockSize},
                    true);
                // Without carry room nothing can be joined; with little, too
                // few bytes lie before a record's start to look at it where
                // it lies.
                expectSameReading<EntryLayout>({before + withNext, blockSize, -1, 0}, true);
                expectSameReading<EntryLayout>({before + withNext, blockSize, -1, 40}, true);
                if (HasFailure()) return;
            }
        }
    }
    EXPECT_GT(crossingTaken, cases / 20);  // the sweep must take crossing records
}

// Every text of a small alphabet (random ones for the widest fields) in
// single fields of every width the fast path handles: alone (read a column
// at a time), at the start of a record of 16 columns and at its end (read
// sixteen columns at a time), and with the record filling its block to the
// last byte. Where the fast path takes the field, the statement reads the
// same bits; where it does not, the typed statement still does.
std::vector<std::string> fieldTexts(std::size_t width, const std::string& alphabet) {
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
        return texts;
    }
    std::uint64_t state = width;
    for (int n = 0; n < 6000; ++n) {
        std::string text(width, ' ');
        for (char& c : text) {
            state = state * 6364136223846793005u + 1442695040888963407u;
            // Mostly digits and blanks, so that plain texts are common.
            const auto pick = static_cast<std::size_t>((state >> 33) % 10);
            c = pick < 6 ? static_cast<char>('0' + pick)
                         : alphabet[pick - 6 < alphabet.size() ? pick - 6 : 0];
        }
        texts.push_back(text);
    }
    return texts;
}

// `kPad` blanks before the field (kAfter false) or after it.
template <class Layout>
int sweepField(std::size_t width, std::size_t pad, bool fieldFirst) {
    int taken = 0;
    for (const std::string& text : fieldTexts(width, " 019.-+")) {
        const std::string blanks(pad, ' ');
        const std::string line = fieldFirst ? text + blanks : blanks + text;
        const std::string data = line + "\nnext\n";
        for (const std::uint32_t block : {1024u, static_cast<std::uint32_t>(line.size() + 1)}) {
            if (expectSameReading<Layout>({data, block})) ++taken;
            if (::testing::Test::HasFailure()) return taken;
        }
    }
    return taken;
}

// The common-text reader converts all numeric fields at once, in lanes of
// two columns, when no lane holds digits of two fields; the entry line's
// fields are laid out so, two integer fields abutting at an odd column are
// not, and convert one word per field.
static_assert(columns_detail::kLanePlan<EntryLayout::columns>.fits);
using SharedLane = CompiledLayout<"(I3,I3,10X)">;
static_assert(!columns_detail::kLanePlan<SharedLane::columns>.fits);
static_assert(columns_detail::kColumnMasks<SharedLane::columns>.fits);

TEST(ReadRecord, FieldsSharingALaneReadAsByTheStatement) {
    int taken = 0;
    for (const std::string& text : fieldTexts(6, " 09-")) {
        if (expectSameReading<SharedLane>({text + std::string(10, ' ') + "\nnext\n"})) ++taken;
        if (HasFailure()) return;
    }
    EXPECT_GT(taken, 100);
}

#define SWEEP(text, width, pad, first) sweepField<CompiledLayout<text>>(width, pad, first)

TEST(ReadRecord, EveryTextOfEveryFieldWidthReadsAsByTheStatement) {
    // Alone.
    EXPECT_GT(SWEEP("(I1)", 1, 0, true), 0);
    EXPECT_GT(SWEEP("(I5)", 5, 0, true), 0);
    EXPECT_GT(SWEEP("(F5.2)", 5, 0, true), 0);
    EXPECT_GT(SWEEP("(F8.4)", 8, 0, true), 0);
    // Ending a record of sixteen columns.
    EXPECT_GT(SWEEP("(15X,I1)", 1, 15, false), 0);
    EXPECT_GT(SWEEP("(14X,I2)", 2, 14, false), 0);
    EXPECT_GT(SWEEP("(13X,I3)", 3, 13, false), 0);
    EXPECT_GT(SWEEP("(11X,I5)", 5, 11, false), 0);
    EXPECT_GT(SWEEP("(9X,I7)", 7, 9, false), 0);
    EXPECT_GT(SWEEP("(8X,I8)", 8, 8, false), 0);
    EXPECT_GT(SWEEP("(13X,F3.1)", 3, 13, false), 0);
    EXPECT_GT(SWEEP("(12X,F4.1)", 4, 12, false), 0);
    EXPECT_GT(SWEEP("(12X,F4.2)", 4, 12, false), 0);
    EXPECT_GT(SWEEP("(11X,F5.2)", 5, 11, false), 0);
    EXPECT_GT(SWEEP("(10X,F6.3)", 6, 10, false), 0);
    EXPECT_GT(SWEEP("(8X,F8.0)", 8, 8, false), 0);
    EXPECT_GT(SWEEP("(8X,F8.4)", 8, 8, false), 0);
    // Starting one, where fewer than eight columns lie before its end.
    EXPECT_GT(SWEEP("(I2,14X)", 2, 14, true), 0);
    EXPECT_GT(SWEEP("(F5.2,11X)", 5, 11, true), 0);
    EXPECT_GT(SWEEP("(I7,9X)", 7, 9, true), 0);
}

}  // namespace
}  // namespace gscmerge::textio
