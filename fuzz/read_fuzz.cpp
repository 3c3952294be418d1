// Read statements with each of the program's read layouts over arbitrary
// record bytes.
//
// Input: one control byte, then the bytes of the "file".
//   bits 0-1  the layout: "(A)", "(A2, 8A1)", "(64X,I4)" or the entry layout
//   bit 2     for "(A)": a 12-character item (a file name) instead of 2
//   bits 3-5  the block size of the second reading (1 to 1024 bytes)
// Statements are read one after another until a report ends the run (at the
// latest the end of the data, 6501). Every run is done with one-byte blocks,
// where the reading position after each statement is checked to be just past
// its line feed, and with the chosen block size, which must give the same
// items and the same report. The chosen block size is also read by the typed
// record statements over the compiled layouts, as the program reads; and
// for the count and entry layouts by their column readers first, the read
// statement when they decline, which they must do without taking anything.
// Lines whose fields are plain (digits, blanks, one first sign, one point, no
// comma) are also checked against the values their columns spell.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "fuzz/harness.h"
#include "tests/support/memory_input.h"
#include "textio/fixed_columns.h"
#include "textio/input.h"
#include "textio/record_statements.h"

namespace gscmerge::fuzz {
namespace {

using textio::InputStatement;
using textio::parseLayout;
using textio::RecordLayout;

constexpr RecordLayout kWholeLine = parseLayout("(A)");
constexpr RecordLayout kInstruction = parseLayout("(A2, 8A1)");
constexpr RecordLayout kCount = parseLayout("(64X,I4)");
constexpr RecordLayout kEntry =
    parseLayout("(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)");

constexpr auto kWholeLineCompiled = textio::compileLayout<"(A)">();
constexpr auto kInstructionCompiled = textio::compileLayout<"(A2, 8A1)">();
constexpr auto kCountCompiled = textio::compileLayout<"(64X,I4)">();
constexpr auto kEntryCompiled = textio::compileLayout<
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)">();
using CountCompiled = std::remove_const_t<decltype(kCountCompiled)>;
using EntryCompiled = std::remove_const_t<decltype(kEntryCompiled)>;

constexpr char kName[] = "records.dat";
constexpr std::uint32_t kBlockSizes[] = {1, 2, 3, 7, 64, 1000, 1023, 1024};

enum class Choice : std::uint8_t { WholeLine, Instruction, Count, Entry };

// The items of one statement, as bytes: integers and doubles by their bits,
// characters as they are, so that equal traces mean identical values.
class Items {
public:
    void integer(std::int32_t value) { append(&value, sizeof value); }
    void real(double value) { append(&value, sizeof value); }
    void text(const char* chars, std::size_t length) { bytes_.append(chars, length); }
    [[nodiscard]] const std::string& bytes() const { return bytes_; }

private:
    void append(const void* value, std::size_t size) {
        bytes_.append(static_cast<const char*>(value), size);
    }
    std::string bytes_;
};

// The twelve items of an entry line, in layout order: four integers, a real,
// the sign, two integers, four reals.
struct EntryItems {
    std::int32_t whole[6] = {};
    double real[5] = {};
    char sign = ' ';

    void addTo(Items& items) const {
        for (int i = 0; i < 4; ++i) items.integer(whole[i]);
        items.real(real[0]);
        items.text(&sign, 1);
        items.integer(whole[4]);
        items.integer(whole[5]);
        for (int i = 1; i < 5; ++i) items.real(real[i]);
    }
};

// One read statement, with the items the program gives that layout.
Items readStatement(textio::InputBuffer& buffer, Choice choice, std::int32_t textLength) {
    Items items;
    switch (choice) {
        case Choice::WholeLine: {
            char name[12];
            InputStatement read(buffer, kWholeLine);
            read.getText(name, textLength);
            read.endRead();
            items.text(name, static_cast<std::size_t>(textLength));
            break;
        }
        case Choice::Instruction: {
            char code[2];
            char cells[8];
            InputStatement read(buffer, kInstruction);
            read.getText(code, 2);
            for (char& cell : cells) read.getText(&cell, 1);
            read.endRead();
            items.text(code, 2);
            items.text(cells, 8);
            break;
        }
        case Choice::Count: {
            std::int32_t count = -1;
            InputStatement read(buffer, kCount);
            read.getInteger(count);
            read.endRead();
            items.integer(count);
            break;
        }
        case Choice::Entry: {
            EntryItems entry;
            InputStatement read(buffer, kEntry);
            for (int i = 0; i < 4; ++i) read.getInteger(entry.whole[i]);
            read.getReal(entry.real[0]);
            read.getText(&entry.sign, 1);
            read.getInteger(entry.whole[4]);
            read.getInteger(entry.whole[5]);
            for (int i = 1; i < 5; ++i) read.getReal(entry.real[i]);
            read.endRead();
            entry.addTo(items);
            break;
        }
    }
    return items;
}

// The same statement as one typed record statement over the compiled layout.
Items readTypedStatement(textio::InputBuffer& buffer, Choice choice, std::int32_t textLength) {
    Items items;
    switch (choice) {
        case Choice::WholeLine:
            if (textLength == 12) {
                char name[12];
                textio::readRecord(buffer, kWholeLineCompiled, name);
                items.text(name, 12);
            } else {
                char scratch[2];
                textio::readRecord(buffer, kWholeLineCompiled, scratch);
                items.text(scratch, 2);
            }
            break;
        case Choice::Instruction: {
            char code[2];
            char c[8];
            textio::readRecord(buffer, kInstructionCompiled, code, c[0], c[1], c[2], c[3], c[4],
                               c[5], c[6], c[7]);
            items.text(code, 2);
            items.text(c, 8);
            break;
        }
        case Choice::Count: {
            std::int32_t count = -1;
            textio::readRecord(buffer, kCountCompiled, count);
            items.integer(count);
            break;
        }
        case Choice::Entry: {
            EntryItems entry;
            textio::readRecord(buffer, kEntryCompiled, entry.whole[0], entry.whole[1],
                               entry.whole[2], entry.whole[3], entry.real[0], entry.sign,
                               entry.whole[4], entry.whole[5], entry.real[1], entry.real[2],
                               entry.real[3], entry.real[4]);
            entry.addTo(items);
            break;
        }
    }
    return items;
}

// How a record is read: by the read statement alone, by the typed statement,
// or (count and entry lines) by the column readers first.
enum class ColumnReader : std::uint8_t { None, Typed, Columns };

// One record by the column readers, if they take it; nothing may be taken
// when they decline.
bool readByColumns(textio::InputBuffer& buffer, Choice choice, Items& items) {
    if (choice != Choice::Count && choice != Choice::Entry) return false;
    // A reader that declines may have joined the next block behind the unread
    // bytes, but those bytes must still come first, unchanged.
    char before[2048];
    const std::uint32_t unread = buffer.unreadCount();
    std::memcpy(before, buffer.unreadBytes(), unread < sizeof(before) ? unread : sizeof(before));
    bool taken = false;
    Items read;
    if (choice == Choice::Count) {
        std::int32_t count = -1;
        taken = textio::readColumns<CountCompiled::columns>(buffer, count);
        read.integer(count);
    } else {
        EntryItems entry;
        taken = textio::readColumns<EntryCompiled::columns>(
            buffer, entry.whole[0], entry.whole[1], entry.whole[2], entry.whole[3], entry.real[0],
            entry.sign, entry.whole[4], entry.whole[5], entry.real[1], entry.real[2], entry.real[3],
            entry.real[4]);
        entry.addTo(read);
    }
    if (!taken) {
        if (buffer.unreadCount() < unread ||
            std::memcmp(buffer.unreadBytes(), before,
                        unread < sizeof(before) ? unread : sizeof(before)) != 0) {
            finding("the column reader declined a record but took bytes of it", Outcome{});
        }
        return false;
    }
    items = read;
    return true;
}

struct Reading {
    std::vector<std::string> statements;  // the items of each completed statement
    std::vector<std::size_t> positions;   // bytes handed out after each one
    Outcome outcome;
};

Reading readAll(std::string_view data, Choice choice, std::int32_t textLength,
                std::uint32_t blockSize, ColumnReader reader = ColumnReader::None) {
    Reading reading;
    testing::MemoryInput source(std::string(data), blockSize, 0, kName);
    reading.outcome = runCaptured([&] {
        for (;;) {
            Items items;
            if (reader == ColumnReader::Typed) {
                items = readTypedStatement(source.buffer(), choice, textLength);
            } else if (reader == ColumnReader::None ||
                       !readByColumns(source.buffer(), choice, items)) {
                items = readStatement(source.buffer(), choice, textLength);
            }
            reading.statements.push_back(items.bytes());
            reading.positions.push_back(source.handedOut());
            // Every statement takes a line; more statements than lines can
            // only mean one that takes nothing and would never end.
            if (reading.statements.size() > data.size() + 1) return;
        }
    });
    return reading;
}

// ---- What plain lines must read as --------------------------------------

// The columns [from, from + width) of a line's data, as far as it has them.
std::string_view columns(std::string_view data, std::size_t from, std::size_t width) {
    if (from >= data.size()) return {};
    return data.substr(from, width);
}

std::string withoutBlanks(std::string_view field) {
    std::string text;
    for (const char c : field) {
        if (c != ' ' && c != '\t') text += c;
    }
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// An integer field holding blanks, at most one first sign and digits.
std::optional<std::int32_t> plainInteger(std::string_view field) {
    const std::string text = withoutBlanks(field);
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i])) return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

// A fixed-point field holding blanks, at most one first sign, digits and at
// most one point: the double nearest the decimal value, with d implied
// decimals when there is no point.
std::optional<double> plainFixed(std::string_view field, int decimals) {
    const std::string text = withoutBlanks(field);
    std::size_t i = 0;
    std::string number;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool point = false;
    int fractionDigits = 0;
    std::string digits;
    for (; i < text.size(); ++i) {
        if (text[i] == '.' && !point) {
            point = true;
        } else if (isDigit(text[i])) {
            digits += text[i];
            if (point) ++fractionDigits;
        } else {
            return std::nullopt;
        }
    }
    if (digits.empty()) digits = "0";
    number += digits;
    number += "e-" + std::to_string(point ? fractionDigits : decimals);
    return std::strtod(number.c_str(), nullptr);
}

std::optional<std::string> expectedItems(std::string_view data, Choice choice,
                                         std::int32_t textLength) {
    Items items;
    auto padded = [&](std::size_t from, std::size_t width) {
        std::string text(columns(data, from, width));
        text.resize(width, ' ');
        items.text(text.data(), text.size());
    };
    switch (choice) {
        case Choice::WholeLine:
            padded(0, static_cast<std::size_t>(textLength));
            break;
        case Choice::Instruction:
            padded(0, 10);
            break;
        case Choice::Count: {
            // The skip passes over anything up to the line end, commas included.
            const std::string_view field = columns(data, 64, 4);
            if (field.find(',') != std::string_view::npos) return std::nullopt;
            const std::optional<std::int32_t> count = plainInteger(field);
            if (!count) return std::nullopt;
            items.integer(*count);
            break;
        }
        case Choice::Entry: {
            // A comma ends a field early and moves every later column.
            if (columns(data, 0, 57).find(',') != std::string_view::npos) return std::nullopt;
            struct Field {
                std::size_t from, width;
                char kind;  // I, F or A
                int decimals;
            };
            static constexpr Field kFields[] = {
                {0, 8, 'I', 0},  {8, 8, 'I', 0},  {17, 2, 'I', 0}, {20, 2, 'I', 0},
                {23, 5, 'F', 2}, {29, 1, 'A', 0}, {30, 2, 'I', 0}, {33, 2, 'I', 0},
                {36, 4, 'F', 1}, {41, 4, 'F', 1}, {47, 5, 'F', 2}, {53, 4, 'F', 2},
            };
            for (const Field& field : kFields) {
                const std::string_view text = columns(data, field.from, field.width);
                if (field.kind == 'A') {
                    padded(field.from, field.width);
                } else if (field.kind == 'I') {
                    const std::optional<std::int32_t> value = plainInteger(text);
                    if (!value) return std::nullopt;
                    items.integer(*value);
                } else {
                    const std::optional<double> value = plainFixed(text, field.decimals);
                    if (!value) return std::nullopt;
                    items.real(*value);
                }
            }
            break;
        }
    }
    return items.bytes();
}

void checkAgainstLines(std::string_view data, const Reading& reading, Choice choice,
                       std::int32_t textLength) {
    std::size_t lineStart = 0;
    for (std::size_t k = 0; k <= reading.statements.size(); ++k) {
        const bool haveLine = lineStart < data.size();
        const std::size_t feed = haveLine ? data.find('\n', lineStart) : std::string_view::npos;
        const std::size_t lineEnd = feed == std::string_view::npos ? data.size() : feed;
        const std::size_t next = feed == std::string_view::npos ? data.size() : feed + 1;
        std::string_view line = haveLine ? data.substr(lineStart, lineEnd - lineStart) : "";
        line = line.substr(0, line.find('\r'));
        const std::optional<std::string> expected =
            haveLine ? expectedItems(line, choice, textLength) : std::nullopt;

        if (k == reading.statements.size()) {
            // The statement that ended the run.
            if (!haveLine && reading.outcome.err.find("F6501") == std::string::npos) {
                finding("a statement after the last line must meet the end of the file",
                        reading.outcome);
            }
            if (expected) {
                std::fprintf(stderr, "line %zu: \"%s\"\n", k, escaped(line).c_str());
                finding("a plain line was refused", reading.outcome);
            }
            return;
        }
        if (!haveLine) finding("a statement read past the end of the data", reading.outcome);
        if (reading.positions[k] != next) {
            std::fprintf(stderr, "statement %zu ended at byte %zu, its line at %zu\n", k,
                         reading.positions[k], next);
            finding("a read statement did not take exactly one line", reading.outcome);
        }
        if (expected && *expected != reading.statements[k]) {
            std::fprintf(stderr, "line %zu: \"%s\"\n  items    \"%s\"\n  expected \"%s\"\n", k,
                         escaped(line).c_str(), escaped(reading.statements[k]).c_str(),
                         escaped(*expected).c_str());
            finding("a plain line read as other values than its columns spell", reading.outcome);
        }
        lineStart = next;
    }
}

}  // namespace
}  // namespace gscmerge::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace gscmerge::fuzz;
    if (size == 0) return 0;
    const auto choice = static_cast<Choice>(bytes[0] & 3u);
    const std::int32_t textLength = (bytes[0] & 4u) != 0 ? 12 : 2;
    const std::uint32_t blockSize = kBlockSizes[(bytes[0] >> 3) & 7u];
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);

    const Reading byByte = readAll(data, choice, textLength, 1);
    expectReport(byByte.outcome, gscmerge::textio::StatementKind::Read, kFieldErrors, kName);
    checkAgainstLines(data, byByte, choice, textLength);

    for (const ColumnReader reader :
         {ColumnReader::None, ColumnReader::Typed, ColumnReader::Columns}) {
        if (reader == ColumnReader::Columns && choice != Choice::Count && choice != Choice::Entry) {
            break;
        }
        const Reading byBlock = readAll(data, choice, textLength, blockSize, reader);
        if (byBlock.statements != byByte.statements || byBlock.outcome.err != byByte.outcome.err ||
            byBlock.outcome.status != byByte.outcome.status) {
            std::size_t k = 0;
            while (k < byBlock.statements.size() && k < byByte.statements.size() &&
                   byBlock.statements[k] == byByte.statements[k]) {
                ++k;
            }
            std::fprintf(stderr,
                         "block size %u, reader %d: %zu statements, one-byte blocks and "
                         "read statements only: %zu; first difference at statement %zu\n",
                         blockSize, static_cast<int>(reader), byBlock.statements.size(),
                         byByte.statements.size(), k);
            if (k < byBlock.statements.size() && k < byByte.statements.size()) {
                std::fprintf(stderr, "  items    \"%s\"\n  expected \"%s\"\n",
                             escaped(byBlock.statements[k]).c_str(),
                             escaped(byByte.statements[k]).c_str());
            }
            finding("the block size or the reader changed what was read", byBlock.outcome);
        }
    }
    return 0;
}
