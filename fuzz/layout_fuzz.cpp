// Arbitrary layout texts: parsed, then walked by a read statement over a few
// fixed lines and by a write statement into memory, with a few items.
//
// Input: two control bytes, then the layout text.
//   byte 0, bits 0-2  the number of items (0 to 7) ...
//   byte 0, bit 5     ... plus 24 (more items than a statement keeps inline)
//   byte 0, bits 3-4  which lines the read statement reads
//   byte 1            the item kinds, two bits per item (integer, real, short
//                     text, text of 5), and the values written
// A walk ends either with the statement complete or with one report of a
// READ or WRITE error that a layout or a field can cause. (The typed record
// statements, whose layouts are constants, are compared with these general
// statements by read_fuzz and write_fuzz.)
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/harness.h"
#include "tests/support/memory_input.h"
#include "textio/input.h"
#include "textio/layout.h"
#include "textio/output.h"

namespace gscmerge::fuzz {
namespace {

using textio::DescriptorKind;
using textio::FieldDescriptor;
using textio::RecordLayout;
using textio::StatementKind;

constexpr char kName[] = "layout.dat";

// Lines with something for every kind of field: digits, signs, points,
// commas, letters, a radix form, an exponent, a tab, a short line, CR LF and
// the character 26.
constexpr std::string_view kLines[] = {
    "  12 -3.5,7 AB 16#7F 0.25E1 x\r\n   42\n\t9,,.5 -0 +\n",
    "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\nEN\r\n",
    "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\n\x1a 5\n",
    "",
};

constexpr int kLayoutFaults[] = {6700, 6980, 6981, 6983, 6987, 6988, 6989, 6990, 6991};
constexpr int kReadErrors[] = {6100, 6101, 6102, 6103, 6205, 6206, 6207, 6302, 6303, 6501,
                               6509, 6700, 6980, 6981, 6983, 6987, 6988, 6989, 6990, 6991};
constexpr int kWriteErrors[] = {6205, 6206, 6207, 6700, 6980, 6981,
                                6983, 6987, 6988, 6989, 6990, 6991};

constexpr std::int32_t kIntegers[] = {0, 7, -5, 1234, INT32_MIN, INT32_MAX, 10, -1};
constexpr double kReals[] = {0.5, -1.25, 56.78, 1e300, -0.0, 5e-324, 123456789.0, 0.995};

// Lengths of the short text items written: empty and negative lengths place
// no characters, and a text may be longer than its field.
constexpr std::int32_t kShortLengths[] = {1, 0, -3, 2, 1, 12, 1, 3};

enum class ItemKind : std::uint8_t { Integer, Real, Char, Text };

ItemKind itemKind(std::uint8_t plan, int item) {
    return static_cast<ItemKind>((plan >> (2 * (item % 4))) & 3u);
}

// The parsed form must be well made whatever the text: within capacity,
// ended by exactly one end or fault, literals inside the text.
void checkParsed(const RecordLayout& layout, std::string_view text) {
    const Outcome none;
    if (layout.count < 1 || layout.count > RecordLayout::kCapacity) {
        finding("a layout with no end or beyond its capacity", none);
    }
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& d = layout.descriptors[i];
        const bool last = i == layout.count - 1;
        const bool ends = d.kind == DescriptorKind::LayoutEnd || d.kind == DescriptorKind::Fault;
        if (ends != last) finding("an end or a fault that is not the last descriptor", none);
        if (d.kind == DescriptorKind::Fault && !oneOf(d.errorNumber, kLayoutFaults)) {
            finding("a fault marker with a number no layout fault has", none);
        }
        if (d.isData() && (d.repeat < 0 || d.width < 0 || d.digits < 0)) {
            finding("a negative number in a data descriptor", none);
        }
        if (d.kind == DescriptorKind::Literal &&
            (d.text < text.data() || d.textLength < 0 ||
             d.text + d.textLength > text.data() + text.size())) {
            finding("a literal outside its layout text", none);
        }
    }
}

// What one write statement can put in memory at most, so that a layout such
// as "(2147483647X,I1)" (a legal two-gigabyte record) is not written here.
bool writeIsSmall(const RecordLayout& layout) {
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& d = layout.descriptors[i];
        if (d.kind == DescriptorKind::Literal) total += d.textLength;
        if (d.kind == DescriptorKind::Skip || d.isData()) total += d.width;
    }
    return total <= 1 << 16;
}

void walkRead(const RecordLayout& layout, std::string_view lines, int items, std::uint8_t plan,
              std::uint32_t blockSize, std::string& trace) {
    testing::MemoryInput source(std::string(lines), blockSize, 0, kName);
    textio::InputStatement read(source.buffer(), layout);
    for (int i = 0; i < items; ++i) {
        switch (itemKind(plan, i)) {
            case ItemKind::Integer: {
                std::int32_t value = 0;
                read.getInteger(value);
                trace.append(reinterpret_cast<const char*>(&value), sizeof value);
                break;
            }
            case ItemKind::Real: {
                double value = 0.0;
                read.getReal(value);
                trace.append(reinterpret_cast<const char*>(&value), sizeof value);
                break;
            }
            case ItemKind::Char:
            case ItemKind::Text: {
                char text[5];
                const std::int32_t length = itemKind(plan, i) == ItemKind::Char ? 1 : 5;
                read.getText(text, length);
                trace.append(text, static_cast<std::size_t>(length));
                break;
            }
        }
    }
    read.endRead();
}

void flushInto(void* sink, const char* bytes, std::size_t count) {
    static_cast<std::string*>(sink)->append(bytes, count);
}

void writeItems(textio::OutputStatement& write, int items, std::uint8_t plan) {
    for (int i = 0; i < items; ++i) {
        const auto pick = static_cast<std::size_t>((plan + i) & 7);
        switch (itemKind(plan, i)) {
            case ItemKind::Integer:
                write.putInteger(kIntegers[pick]);
                break;
            case ItemKind::Real:
                write.putReal(kReals[pick]);
                break;
            case ItemKind::Char:
                write.putText("ABCDEFGHIJKL", kShortLengths[pick]);
                break;
            case ItemKind::Text:
                write.putText("ABCDE", 5);
                break;
        }
    }
}

void walkWrite(const RecordLayout& layout, int items, std::uint8_t plan, std::string& written) {
    char block[1024];
    textio::OutputBuffer buffer(block, sizeof block, flushInto, &written);
    textio::OutputStatement write(buffer, kName, layout);
    writeItems(write, items, plan);
    write.endWrite();
    buffer.flushWaiting();
}

}  // namespace
}  // namespace gscmerge::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace gscmerge::fuzz;
    if (size < 2) return 0;
    const int items = (bytes[0] & 7) + ((bytes[0] & 32u) != 0 ? 24 : 0);
    const std::string_view lines = kLines[(bytes[0] >> 3) & 3u];
    const std::uint8_t plan = bytes[1];
    // The layout text in storage of its own size, so that a read past its end
    // is caught.
    const std::string text(reinterpret_cast<const char*>(bytes) + 2, size - 2);
    const RecordLayout layout = gscmerge::textio::parseLayout(text);
    checkParsed(layout, text);

    std::string byByte;
    const Outcome read1 = runCaptured([&] { walkRead(layout, lines, items, plan, 1, byByte); });
    if (read1.ended) expectReport(read1, StatementKind::Read, kReadErrors, kName);
    if (!read1.out.empty() || (!read1.ended && !read1.err.empty())) {
        finding("a completed read statement wrote something", read1);
    }
    std::string byBlock;
    const Outcome read2 = runCaptured([&] { walkRead(layout, lines, items, plan, 7, byBlock); });
    if (byBlock != byByte || read2.err != read1.err || read2.ended != read1.ended) {
        finding("the block size changed what a layout read", read2);
    }

    if (!writeIsSmall(layout)) return 0;
    std::string written;
    const Outcome write = runCaptured([&] { walkWrite(layout, items, plan, written); });
    if (write.ended) {
        expectReport(write, StatementKind::Write, kWriteErrors, kName);
    } else if (!write.out.empty() || !write.err.empty()) {
        finding("a completed write statement wrote to the console", write);
    } else if (written.size() < 2 || written.compare(written.size() - 2, 2, "\r\n") != 0) {
        std::fprintf(stderr, "record: \"%s\"\n", escaped(written).c_str());
        finding("a completed write statement did not end its record with CR LF", write);
    }
    return 0;
}
