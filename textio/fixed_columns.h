// A fast path for read statements whose layout holds only integer,
// fixed-point, character and skip descriptors, on records whose fields hold
// plain numbers.
//
// Such a record's fields sit at fixed columns: with no comma, tab, carriage
// return or line feed among them, no field can end early, so each field is
// the slice of its columns. `tryReadColumns` converts the slices and takes
// the record only when every field is plain (blanks, a first sign, digits, one
// point); anything else — a short line, an exponent, a radix form — returns
// false with nothing taken, and the caller reads the record with an
// InputStatement, which gives the same values for every plain record and the
// run-time error for the rest.
//
// A record that crosses the block's end is looked at once the next block is
// joined to its start (`InputBuffer::extendWindow`). The join is the read the
// statement would make on reaching the block's end, made early, so it is made
// only when the statement would surely get there: the bytes before the
// block's end hold no line end and every field among them is plain. Whether
// the fast path then takes the record or leaves it, the reads made are those
// of the statement alone.
//
//     constexpr ColumnPlan kPlan = planColumns(parseLayout("(64X,I4)"));
//     ColumnValue count;
//     if (!tryReadColumns(buffer, kPlan, &count)) { /* InputStatement */ }
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "textio/decimal_tables.h"
#include "textio/input_buffer.h"
#include "textio/layout.h"

namespace gscmerge::textio {

struct ColumnField {
    DescriptorKind kind = DescriptorKind::IntegerField;
    std::int32_t start = 0;  // column offset from the record's start
    std::int32_t width = 0;
    std::int32_t decimals = 0;
};

// One field per item, in item order; `usable` is false when the layout has
// descriptors outside the fast path (literals, faults, widthless A) or more
// fields than the plan holds.
struct ColumnPlan {
    static constexpr int kCapacity = 32;
    ColumnField fields[kCapacity] = {};
    std::int32_t count = 0;
    std::int32_t columns = 0;  // the columns the fields cover
    bool usable = false;
};

// The value of one field: `integer` for I, `real` for F, `character` for A1.
union ColumnValue {
    std::int32_t integer;
    double real;
    char character;
};

[[nodiscard]] constexpr ColumnPlan planColumns(const RecordLayout& layout) {
    ColumnPlan plan;
    std::int32_t column = 0;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& descriptor = layout.descriptors[i];
        switch (descriptor.kind) {
            case DescriptorKind::Skip:
                column += descriptor.width;
                break;
            case DescriptorKind::IntegerField:
            case DescriptorKind::FixedPointField:
            case DescriptorKind::CharacterField:
                // Only one-character A fields, whose item is one character too.
                if (descriptor.kind == DescriptorKind::CharacterField && descriptor.width != 1) {
                    return ColumnPlan{};
                }
                for (std::int32_t r = 0; r < descriptor.repeat; ++r) {
                    if (plan.count == ColumnPlan::kCapacity) return ColumnPlan{};
                    plan.fields[plan.count++] = {descriptor.kind, column, descriptor.width,
                                                 descriptor.digits};
                    column += descriptor.width;
                }
                break;
            case DescriptorKind::LayoutEnd:
                plan.columns = column;
                plan.usable = plan.count > 0;
                return plan;
            case DescriptorKind::Literal:
            case DescriptorKind::Fault:
                return ColumnPlan{};
        }
    }
    return ColumnPlan{};
}

// Reads one record by `plan` into values[0..plan.count) and takes it through
// its line feed; false, with nothing taken, when the fast path does not apply.
[[nodiscard]] bool tryReadColumns(InputBuffer& buffer, const ColumnPlan& plan, ColumnValue* values);

// The conversions of one plain field, shared by the run-time reader and the
// compiled readers below, so that both accept the same texts with the same
// values; the compiled readers take one column at a time, unrolled.
namespace columns_detail {

// The characters of a plain field, taken one column at a time: blanks
// anywhere, one sign before anything but blanks, digits, and (in a
// fixed-point field) one point.
struct PlainText {
    std::uint64_t mantissa = 0;
    int digits = 0;
    int pointAt = -1;      // digits before the point
    bool started = false;  // a sign, digit or point has been seen
    bool negative = false;
};

template <bool kPoint>
[[gnu::always_inline]] inline bool plainStep(PlainText& text, char c) {
    const auto digit = static_cast<unsigned>(c - '0');
    if (digit < 10) {
        text.mantissa = text.mantissa * 10 + digit;
        ++text.digits;
        text.started = true;
        return true;
    }
    if (c == ' ') return true;
    if (kPoint && c == '.' && text.pointAt < 0) {
        text.pointAt = text.digits;
        text.started = true;
        return true;
    }
    if (!text.started && (c == '+' || c == '-')) {
        text.negative = c == '-';
        text.started = true;
        return true;
    }
    return false;  // a line end, comma, tab, exponent, second sign or point, ...
}

// At most 9 digits: the value the integer reader gives for the same text,
// which cannot overflow with 9 digits.
[[gnu::always_inline]] inline bool plainIntegerValue(const PlainText& text, std::int32_t* value) {
    if (text.digits > 9) return false;
    const auto magnitude = static_cast<std::int32_t>(text.mantissa);
    *value = text.negative ? -magnitude : magnitude;
    return true;
}

// At most 15 digits: they form an exact integer below 2^53 and the scale is
// at most 22, so one IEEE division gives the nearest double, exactly as the
// fixed-point reader does for the same text.
[[gnu::always_inline]] inline bool plainFixedValue(const PlainText& text, std::int32_t decimals,
                                                   double* value) {
    if (text.digits > 15) return false;
    const std::int32_t scale = text.pointAt >= 0 ? text.digits - text.pointAt : decimals;
    if (scale < 0 || scale > 22) return false;
    const double magnitude = static_cast<double>(text.mantissa) / kExactPowersOfTen[scale];
    *value = text.negative ? -magnitude : magnitude;
    return true;
}

inline bool plainInteger(const char* chars, std::int32_t width, std::int32_t* value) {
    PlainText text;
    for (std::int32_t i = 0; i < width; ++i) {
        if (!plainStep<false>(text, chars[i])) return false;
    }
    return plainIntegerValue(text, value);
}

inline bool plainFixed(const char* chars, std::int32_t width, std::int32_t decimals,
                       double* value) {
    PlainText text;
    for (std::int32_t i = 0; i < width; ++i) {
        if (!plainStep<true>(text, chars[i])) return false;
    }
    return plainFixedValue(text, decimals, value);
}

// The same with the columns unrolled.
template <bool kPoint, std::size_t... kColumn>
[[gnu::always_inline]] inline bool plainSteps(const char* chars, PlainText& text,
                                              std::index_sequence<kColumn...> /*columns*/) {
    return (plainStep<kPoint>(text, chars[kColumn]) && ...);
}

// Eight columns at a time, for fields of at most eight columns: most fields
// are right-justified digits, or such digits around a point where the field's
// decimals put it, which take a handful of word operations to check and
// convert. Every other text goes through the column-at-a-time steps above,
// so both take the same texts with the same values.
inline constexpr bool kWordsApply = std::endian::native == std::endian::little;
inline constexpr std::uint64_t kEachByte = 0x0101010101010101u;
inline constexpr std::uint64_t kBlankBytes = kEachByte * ' ';

// A field's columns as the top bytes of a word (the first column in the
// lowest of them), blanks below them.
template <std::int32_t kStart, std::int32_t kWidth>
[[gnu::always_inline]] inline std::uint64_t fieldWord(const char* record) {
    static_assert(kWidth >= 1 && kWidth <= 8);
    constexpr std::uint64_t kFieldBytes = ~std::uint64_t{0} << (8 * (8 - kWidth) % 64);
    std::uint64_t word = 0;
    if constexpr (kStart + kWidth >= 8) {
        // The eight bytes ending with the field's last column all lie in the
        // record; those before the field are blanked.
        std::memcpy(&word, record + kStart + kWidth - 8, 8);
    } else {
        std::memcpy(reinterpret_cast<char*>(&word) + (8 - kWidth), record + kStart,
                    static_cast<std::size_t>(kWidth));
    }
    return (word & kFieldBytes) | (kBlankBytes & ~kFieldBytes);
}

// A word's bytes as digit values, blanks as zeros; `refused` is nonzero
// unless the bytes are blanks followed by digits (no sign, point or other
// character, no blank after a digit).
struct DigitWord {
    std::uint64_t digits;
    std::uint64_t blanks;  // 0xFF in each blank byte
    std::uint64_t refused;
};

[[gnu::always_inline]] inline DigitWord rightJustifiedDigits(std::uint64_t word) {
    // A digit becomes its value, a blank 0x10; anything else keeps a bit
    // above the low nibble or a low nibble above 9, or (0x21 to 0x29) both
    // bit 4 and a nonzero low nibble.
    const std::uint64_t marked = word ^ (kEachByte * '0');
    const std::uint64_t digits = marked & (kEachByte * 0xEF);
    const std::uint64_t blanks = ((marked >> 4) & kEachByte) * 0xFF;
    const std::uint64_t notDigits = (digits | (digits + kEachByte * 6)) & (kEachByte * 0xF0);
    // The blanks must be the lowest bytes, one run from the first.
    const std::uint64_t blankAfterDigit = blanks & (blanks + 1);
    return {digits, blanks, notDigits | (digits & blanks) | blankAfterDigit};
}

// The number written by the top `kCount` digit bytes, the first the most
// significant.
template <std::int32_t kCount>
[[gnu::always_inline]] inline std::uint64_t digitsValue(std::uint64_t digits) {
    static_assert(kCount >= 1 && kCount <= 8);
    if constexpr (kCount <= 2) {
        const std::uint64_t pair = digits >> 48;
        return (pair & 0xFF) * 10 + (pair >> 8);
    } else if constexpr (kCount <= 4) {
        std::uint64_t four = digits >> 32;
        four = four * 10 + (four >> 8);  // pairs in bytes 0 and 2
        return (((four & 0x00FF00FFu) * (1 + (100u << 16))) >> 16) & 0xFFFF;
    } else {
        std::uint64_t eight = digits * 10 + (digits >> 8);                   // pairs in even bytes
        eight = ((eight & 0x00FF00FF00FF00FFu) * (1 + (100u << 16))) >> 16;  // fours in lanes 0, 2
        return ((eight & 0x0000FFFF0000FFFFu) * (1 + (std::uint64_t{10000} << 32))) >> 32;
    }
}

// Nonzero, with `*value` unspecified, unless the field is right-justified
// digits.
template <std::int32_t kStart, std::int32_t kWidth>
[[gnu::always_inline]] inline std::uint64_t integerWord(const char* record, std::int32_t* value) {
    const DigitWord word = rightJustifiedDigits(fieldWord<kStart, kWidth>(record));
    *value = static_cast<std::int32_t>(digitsValue<kWidth>(word.digits));
    return word.refused;
}

// Nonzero, with `*value` unspecified, unless the field is right-justified
// digits with the point where the decimals put it: dropping the point leaves
// right-justified digits, whose number over 10^decimals is the value.
template <std::int32_t kStart, std::int32_t kWidth, std::int32_t kDecimals>
[[gnu::always_inline]] inline std::uint64_t fixedWord(const char* record, double* value) {
    constexpr int kPointByte = 7 - kDecimals;
    constexpr std::uint64_t kBefore = (std::uint64_t{1} << (8 * kPointByte)) - 1;
    constexpr std::uint64_t kAfter = ~std::uint64_t{0} << (8 * (kPointByte + 1));
    const std::uint64_t field = fieldWord<kStart, kWidth>(record);
    const std::uint64_t point = ((field >> (8 * kPointByte)) & 0xFF) ^ '.';
    const DigitWord word = rightJustifiedDigits((field & kAfter) | ((field & kBefore) << 8) | ' ');
    *value =
        static_cast<double>(digitsValue<kWidth - 1>(word.digits)) / kExactPowersOfTen[kDecimals];
    return point | word.refused | (word.blanks & kAfter);
}

template <std::int32_t kStart, std::int32_t kWidth>
[[gnu::always_inline]] inline bool readInteger(const char* record, std::int32_t* value) {
    PlainText text;
    return plainSteps<false>(record + kStart, text,
                             std::make_index_sequence<static_cast<std::size_t>(kWidth)>{}) &&
           plainIntegerValue(text, value);
}

template <std::int32_t kStart, std::int32_t kWidth, std::int32_t kDecimals>
[[gnu::always_inline]] inline bool readFixed(const char* record, double* value) {
    PlainText text;
    return plainSteps<true>(record + kStart, text,
                            std::make_index_sequence<static_cast<std::size_t>(kWidth)>{}) &&
           plainFixedValue(text, kDecimals, value);
}

// A one-character field takes any character but a line end; control
// characters up to a carriage return are all left to the statement, which
// lets a column be checked with one comparison.
[[nodiscard]] constexpr bool mayEndLine(char c) {
    return static_cast<unsigned char>(c) <= '\r';
}

[[gnu::always_inline]] inline bool plainCharacter(const char* text, char* value) {
    if (mayEndLine(*text)) return false;
    *value = *text;
    return true;
}

// The columns before `plan.columns` that no numeric field covers (skips and
// one-character fields): the only ones where a line end would not already
// refuse a field.
struct OpenColumns {
    static constexpr int kCapacity = 64;
    std::int32_t columns[kCapacity] = {};
    std::int32_t count = 0;
    bool fits = false;
};

[[nodiscard]] constexpr OpenColumns openColumns(const ColumnPlan& plan) {
    OpenColumns open;
    for (std::int32_t column = 0; column < plan.columns; ++column) {
        bool numeric = false;
        for (std::int32_t f = 0; f < plan.count; ++f) {
            const ColumnField& field = plan.fields[f];
            if (field.kind != DescriptorKind::CharacterField && column >= field.start &&
                column < field.start + field.width) {
                numeric = true;
            }
        }
        if (numeric) continue;
        if (open.count == OpenColumns::kCapacity) return OpenColumns{};
        open.columns[open.count++] = column;
    }
    open.fits = true;
    return open;
}

template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline bool readField(const char* record, ColumnValue* values) {
    constexpr ColumnField kSpec = kPlan.fields[kField];
    if constexpr (kSpec.kind == DescriptorKind::IntegerField) {
        return readInteger<kSpec.start, kSpec.width>(record, &values[kField].integer);
    } else if constexpr (kSpec.kind == DescriptorKind::FixedPointField) {
        return readFixed<kSpec.start, kSpec.width, kSpec.decimals>(record, &values[kField].real);
    } else {
        return plainCharacter(record + kSpec.start, &values[kField].character);
    }
}

template <const ColumnPlan& kPlan, std::size_t... kFields>
[[gnu::noinline]] bool readFields(const char* record, ColumnValue* values,
                                  std::index_sequence<kFields...> /*fields*/) {
    return (readField<kPlan, kFields>(record, values) && ...);
}

// One field by whole words where its kind and width allow: nonzero when the
// words do not take it (the column-at-a-time reader then decides). A
// one-character field's column is among the open columns, already checked.
template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline std::uint64_t fieldByWords(const char* record, ColumnValue* values) {
    constexpr ColumnField kSpec = kPlan.fields[kField];
    if constexpr (kSpec.kind == DescriptorKind::CharacterField) {
        values[kField].character = record[kSpec.start];
        return 0;
    } else if constexpr (kWordsApply && kSpec.kind == DescriptorKind::IntegerField &&
                         kSpec.width <= 8) {
        return integerWord<kSpec.start, kSpec.width>(record, &values[kField].integer);
    } else if constexpr (kWordsApply && kSpec.kind == DescriptorKind::FixedPointField &&
                         kSpec.width <= 8 && kSpec.decimals >= 1 && kSpec.decimals < kSpec.width) {
        return fixedWord<kSpec.start, kSpec.width, kSpec.decimals>(record, &values[kField].real);
    } else {
        return readField<kPlan, kField>(record, values) ? 0 : 1;
    }
}

// Every field by words, with one test for them all; any field the words do
// not take sends the whole record to the column-at-a-time reader.
template <const ColumnPlan& kPlan, std::size_t... kFields>
[[gnu::always_inline]] inline bool readFieldsByWords(const char* record, ColumnValue* values,
                                                     std::index_sequence<kFields...> fields) {
    if ((fieldByWords<kPlan, kFields>(record, values) | ...) == 0) [[likely]]
        return true;
    return readFields<kPlan>(record, values, fields);
}

template <const OpenColumns& kOpen, std::size_t... kIndex>
[[gnu::always_inline]] inline bool openColumnsHoldNoLineEnd(
    const char* record, std::index_sequence<kIndex...> /*index*/) {
    return (!mayEndLine(record[kOpen.columns[kIndex]]) && ...);
}

template <const ColumnPlan& kPlan>
inline constexpr OpenColumns kOpenColumns = openColumns(kPlan);

// Joins the next block to the unread bytes when they are the start of a
// record by `plan` that the read statement would read to their end without a
// report; false, with nothing read, when they hold a line feed (the record
// is all here), anything a field would not take plainly, more bytes than
// the buffer can carry over, or when the join itself gives nothing new.
[[nodiscard]] bool joinNextBlock(InputBuffer& buffer, const ColumnPlan& plan);

}  // namespace columns_detail

namespace columns_detail {

// A record lying whole in the unread bytes, read by the compiled plan.
template <const ColumnPlan& kPlan>
[[gnu::always_inline]] inline bool readWholeRecord(InputBuffer& buffer, ColumnValue* values) {
    static_assert(kPlan.usable, "the layout is outside the fast path");
    constexpr auto kColumns = static_cast<std::uint32_t>(kPlan.columns);
    const char* record = buffer.unreadBytes();
    const std::uint32_t available = buffer.unreadCount();
    if (available <= kColumns) return false;
    // No field's columns may hold a line end: the numeric fields refuse one
    // themselves, the other columns are looked at here.
    if constexpr (kOpenColumns<kPlan>.fits) {
        constexpr const OpenColumns& kOpen = kOpenColumns<kPlan>;
        if (!openColumnsHoldNoLineEnd<kOpen>(
                record, std::make_index_sequence<static_cast<std::size_t>(kOpen.count)>{})) {
            return false;
        }
    } else {
        for (std::uint32_t column = 0; column < kColumns; ++column) {
            if (mayEndLine(record[column])) return false;
        }
    }
    if (!readFieldsByWords<kPlan>(
            record, values, std::make_index_sequence<static_cast<std::size_t>(kPlan.count)>{})) {
        return false;
    }
    // The record's line feed must be among the unread bytes; it usually
    // follows the fields at once or after a carriage return.
    std::uint32_t end = kColumns;
    if (record[end] == '\r' && end + 1 < available && record[end + 1] == '\n') {
        end += 1;
    } else if (record[end] != '\n') {
        const auto* lineFeed =
            static_cast<const char*>(std::memchr(record + end, '\n', available - end));
        if (lineFeed == nullptr) return false;
        end = static_cast<std::uint32_t>(lineFeed - record);
    }
    buffer.advance(end + 1);
    return true;
}

// Kept out of line: about one record in eighteen crosses a block's end.
template <const ColumnPlan& kPlan>
[[gnu::noinline]] bool readAcrossBlocks(InputBuffer& buffer, ColumnValue* values) {
    while (joinNextBlock(buffer, kPlan)) {
        if (readWholeRecord<kPlan>(buffer, values)) return true;
    }
    return false;
}

}  // namespace columns_detail

// `tryReadColumns` compiled for one plan: the fields' columns, widths and
// kinds are constants, so each field's conversion is straight-line code. It
// takes exactly the records the run-time reader takes, with the same values.
//
//     static constexpr ColumnPlan kPlan = planColumns(parseLayout("(64X,I4)"));
//     if (!readColumns<kPlan>(buffer, values)) { /* InputStatement */ }
template <const ColumnPlan& kPlan>
[[nodiscard]] bool readColumns(InputBuffer& buffer, ColumnValue* values) {
    return columns_detail::readWholeRecord<kPlan>(buffer, values) ||
           columns_detail::readAcrossBlocks<kPlan>(buffer, values);
}

}  // namespace gscmerge::textio
