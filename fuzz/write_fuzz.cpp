// Typed record statements against the general write statement, over
// arbitrary items.
//
// Input: one control byte, then the items' bytes, taken as they are needed
// (missing bytes count as zero).
//   bits 0-1  the layout: the star record, fixed-point fields of every form
//             the straight placing knows, integer and text fields, or a layout
//             its plan does not fit
//   bit 2     the star record's fractions as exact units (four bytes each)
//   bit 3     the star record's digits as digit pairs (four bytes each), its
//             fractions as exact units
// Integers take four bytes, reals the eight bytes of their bits (an infinity
// or a NaN becomes 0.5: arithmetic on one would raise a flag the writer
// treats as a trap), characters one byte, texts one length byte (0 to 3)
// and their characters. Records are written one after another until the
// bytes run out, so that they also straddle the ends of blocks; both ways
// must give the same bytes in the same writes and end the same way.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/harness.h"
#include "textio/output.h"
#include "textio/output_buffer.h"
#include "textio/record_statements.h"

namespace gscmerge::fuzz {
namespace {

using textio::CompiledLayout;

constexpr char kName[] = "records.g12";

class ItemBytes {
public:
    explicit ItemBytes(std::string_view bytes) : bytes_(bytes) {}

    [[nodiscard]] bool more() const { return position_ < bytes_.size(); }

    std::int32_t integer() {
        std::uint32_t bits = 0;
        take(&bits, sizeof bits);
        return static_cast<std::int32_t>(bits);
    }
    double real() {
        std::uint64_t bits = 0;
        take(&bits, sizeof bits);
        if (((bits >> 52) & 0x7FF) == 0x7FF) return 0.5;
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    char character() {
        char c = ' ';
        take(&c, 1);
        return c;
    }
    std::string_view text() {
        const auto length = static_cast<std::size_t>(static_cast<unsigned char>(character()) & 3u);
        const std::size_t start = position_ < bytes_.size() ? position_ : bytes_.size();
        const std::size_t count = length < bytes_.size() - start ? length : bytes_.size() - start;
        position_ += length;
        return bytes_.substr(start, count);
    }

private:
    void take(void* out, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            const char c = position_ < bytes_.size() ? bytes_[position_] : '\0';
            std::memcpy(static_cast<char*>(out) + i, &c, 1);
            ++position_;
        }
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
};

void flushInto(void* sink, const char* bytes, std::size_t count) {
    static_cast<std::vector<std::string>*>(sink)->emplace_back(bytes, count);
}

void put(textio::OutputStatement& write, std::int32_t item) {
    write.putInteger(item);
}
void put(textio::OutputStatement& write, double item) {
    write.putReal(item);
}
void put(textio::OutputStatement& write, char item) {
    write.putText(&item, 1);
}
void put(textio::OutputStatement& write, std::string_view item) {
    write.putText(item.data(), static_cast<std::int32_t>(item.size()));
}
// Exact units by the walk: the double nearest their value, from its text.
template <std::int32_t kDecimals>
void put(textio::OutputStatement& write, textio::FixedUnits<kDecimals> item) {
    const std::string text = std::to_string(item.units) + "e-" + std::to_string(kDecimals);
    write.putReal(std::strtod(text.c_str(), nullptr));
}

void put(textio::OutputStatement& write, textio::DigitPair item) {
    write.putInteger(item.value / 10);
    write.putInteger(item.value % 10);
}

// The writes of one way: typed, or by the general statement.
struct Writes {
    std::vector<std::string> blocks;
    char block[1024] = {};
    textio::OutputBuffer buffer{block, sizeof block, flushInto, &blocks};
    bool typed = false;

    template <class Layout, class... Items>
    void write(const Items&... items) {
        static constexpr Layout kLayout{};
        if (typed) {
            textio::writeRecord(buffer, kName, kLayout, items...);
            return;
        }
        textio::OutputStatement statement(buffer, kName, Layout::layout);
        (put(statement, items), ...);
        statement.endWrite();
    }
};

using Star = CompiledLayout<
    "('GSC',1X,I4,':',I4,1X,2I1,1X,2I1,1X,2I1,F3.2,1X,A1,2I1,1X,2I1,1X,2I1,F2.1,1X,F5.2)">;
using Fixed = CompiledLayout<"(F2.1,F3.2,F5.2,F3.0,F8.3,F16.3,1X,F17.3,F9.4)">;
using Mixed = CompiledLayout<"(I1,I2,I3,I4,I4.2,I11,'|',A1,A3,A2)">;
using OffPlan = CompiledLayout<"(I4,A,F5.2,'x',I4.0)">;

void writeRecords(Writes& writes, std::uint8_t choice, std::string_view data) {
    ItemBytes in(data);
    int records = 0;
    while (in.more() && records++ < 200) {
        switch (choice & 3u) {
            case 0: {
                if ((choice & 8u) != 0) {
                    const std::int32_t region = in.integer();
                    const std::int32_t number = in.integer();
                    textio::DigitPair p[6];
                    for (textio::DigitPair& pair : p) pair.value = in.integer();
                    const textio::FixedUnits<2> hundredths{in.integer()};
                    const char sign = in.character();
                    const textio::FixedUnits<1> tenths{in.integer()};
                    writes.write<Star>(region, number, p[0], p[1], p[2], hundredths, sign, p[3],
                                       p[4], p[5], tenths, in.real());
                    break;
                }
                std::int32_t n[14];
                for (std::int32_t& value : n) value = in.integer();
                if ((choice & 4u) != 0) {
                    const textio::FixedUnits<2> hundredths{in.integer()};
                    const char sign = in.character();
                    const textio::FixedUnits<1> tenths{in.integer()};
                    writes.write<Star>(n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], hundredths,
                                       sign, n[8], n[9], n[10], n[11], n[12], n[13], tenths,
                                       in.real());
                    break;
                }
                const double fraction = in.real();
                const char sign = in.character();
                writes.write<Star>(n[0], n[1], n[2], n[3], n[4], n[5], n[6], n[7], fraction, sign,
                                   n[8], n[9], n[10], n[11], n[12], n[13], in.real(), in.real());
                break;
            }
            case 1: {
                double v[9];
                for (double& value : v) value = in.real();
                writes.write<Fixed>(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
                break;
            }
            case 2: {
                std::int32_t n[6];
                for (std::int32_t& value : n) value = in.integer();
                const char c = in.character();
                const std::string_view a = in.text();
                writes.write<Mixed>(n[0], n[1], n[2], n[3], n[4], n[5], c, a, in.text());
                break;
            }
            default: {
                const std::int32_t first = in.integer();
                const std::string_view text = in.text();
                const double real = in.real();
                writes.write<OffPlan>(first, text, real, in.integer());
                break;
            }
        }
    }
    writes.buffer.flushWaiting();
}

}  // namespace
}  // namespace gscmerge::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace gscmerge::fuzz;
    if (size == 0) return 0;
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    Writes walked;
    Writes typed;
    typed.typed = true;
    const Outcome byWalk = runCaptured([&] { writeRecords(walked, bytes[0], data); });
    const Outcome byType = runCaptured([&] { writeRecords(typed, bytes[0], data); });
    if (byWalk.ended || !byWalk.out.empty() || !byWalk.err.empty()) {
        finding("a write statement over items of the right kinds did not complete", byWalk);
    }
    if (typed.blocks != walked.blocks || byType.err != byWalk.err || byType.ended != byWalk.ended) {
        std::string all;
        for (const std::string& block : walked.blocks) all += block;
        std::string typedAll;
        for (const std::string& block : typed.blocks) typedAll += block;
        std::fprintf(stderr, "by the walk: \"%s\"\ntyped:       \"%s\"\n", escaped(all).c_str(),
                     escaped(typedAll).c_str());
        finding("the typed write statement wrote other bytes than the layout walk", byType);
    }
    return 0;
}
