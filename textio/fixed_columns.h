// The fast path of read statements whose layout holds only integer,
// fixed-point, one-character A and skip descriptors (a layout with a usable
// `ColumnPlan`), on records whose fields hold plain numbers.
//
// Such a record's fields sit at fixed columns: with no comma, tab, carriage
// return or line feed among them, no field can end early, so each field is
// the slice of its columns. `readColumns` converts the slices and takes the
// record only when every field is plain (blanks, a first sign, digits, one
// point); anything else (a short line, an exponent, a radix form) returns
// false, and the caller reads the record with an InputStatement, which gives
// the same values for every plain record and the run-time error for the
// rest. The typed `readRecord` (textio/record_statements.h) does exactly
// that; nothing else needs this header.
//
// Two readers are compiled for each plan. The first takes the common texts
// (right-justified digits, and fixed-point digits with the point where the
// decimals put it) by looking at the whole record sixteen columns at a time
// and at each field as one word; the second takes every plain text, one
// column at a time, and decides whatever the first leaves.
//
// A record that crosses the block's end is looked at once the next block is
// joined to its start (`InputBuffer::extendWindow`). The join is the read the
// statement would make on reaching the block's end, made early, so it is made
// only when the statement would surely get there: the bytes before the
// block's end hold no line end and every field among them is plain. Whether
// the fast path then takes the record or leaves it, the reads made are those
// of the statement alone.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textio/decimal_tables.h"
#include "textio/input_buffer.h"
#include "textio/layout.h"

namespace gscmerge::textio {

// The conversions of one plain field, shared by the readers below and by the
// join across blocks, so that all of them accept the same texts with the
// same values.
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

// Word-wide steps assume the first column in the lowest byte.
inline constexpr bool kWordsApply = std::endian::native == std::endian::little;
inline constexpr std::uint64_t kEachByte = 0x0101010101010101u;

// A one-character field takes any character but a line end; control
// characters up to a carriage return are all left to the statement, which
// lets a column be checked with one comparison.
[[nodiscard]] constexpr bool mayEndLine(char c) {
    return static_cast<unsigned char>(c) <= '\r';
}

// ---------------------------------------------------------------------------
// The column-at-a-time reader: each field's conversion unrolled over its
// columns. On a refusal the items hold unspecified values.

template <FieldColumns kField>
[[gnu::always_inline]] inline bool readField(const char* record, std::int32_t& item) {
    static_assert(kField.kind == DescriptorKind::IntegerField);
    PlainText text;
    return plainSteps<false>(record + kField.start, text,
                             std::make_index_sequence<static_cast<std::size_t>(kField.width)>{}) &&
           plainIntegerValue(text, &item);
}

template <FieldColumns kField>
[[gnu::always_inline]] inline bool readField(const char* record, double& item) {
    static_assert(kField.kind == DescriptorKind::FixedPointField);
    PlainText text;
    return plainSteps<true>(record + kField.start, text,
                            std::make_index_sequence<static_cast<std::size_t>(kField.width)>{}) &&
           plainFixedValue(text, kField.decimals, &item);
}

template <FieldColumns kField>
[[gnu::always_inline]] inline bool readField(const char* record, char& item) {
    static_assert(kField.kind == DescriptorKind::CharacterField && kField.width == 1);
    if (mayEndLine(record[kField.start])) return false;
    item = record[kField.start];
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
            const FieldColumns& field = plan.fields[f];
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

template <const ColumnPlan& kPlan>
inline constexpr OpenColumns kOpenColumns = openColumns(kPlan);

template <const ColumnPlan& kPlan, std::size_t... kIndex>
[[gnu::always_inline]] inline bool openColumnsHoldNoLineEnd(
    const char* record, std::index_sequence<kIndex...> /*index*/) {
    constexpr const OpenColumns& kOpen = kOpenColumns<kPlan>;
    return (!mayEndLine(record[kOpen.columns[kIndex]]) && ...);
}

template <const ColumnPlan& kPlan>
[[gnu::always_inline]] inline bool noLineEndAmongColumns(const char* record) {
    if constexpr (kOpenColumns<kPlan>.fits) {
        return openColumnsHoldNoLineEnd<kPlan>(
            record,
            std::make_index_sequence<static_cast<std::size_t>(kOpenColumns<kPlan>.count)>{});
    } else {
        for (std::int32_t column = 0; column < kPlan.columns; ++column) {
            if (mayEndLine(record[column])) return false;
        }
        return true;
    }
}

template <const ColumnPlan& kPlan, std::size_t... kFields, class... Items>
[[gnu::noinline]] bool readFieldByField(const char* record,
                                        std::index_sequence<kFields...> /*fields*/,
                                        Items&... items) {
    return noLineEndAmongColumns<kPlan>(record) &&
           (readField<kPlan.fields[kFields]>(record, items) && ...);
}

// ---------------------------------------------------------------------------
// The common-text reader. Every field's columns must hold one of the two
// common forms, which it checks for the whole record at once, one bit per
// column:
//     integer:      blanks, then digits          "    1234"   "      "
//     fixed point:  blanks, then digits, the point where the decimals put it,
//                   then the decimals            "03.45"  "  .50"
// and every other column (skips, one-character fields) anything but a line
// end. Then each field is converted from one word of its columns.

// What each column must hold, one bit per column.
struct ColumnMasks {
    std::uint64_t digitOrBlank = 0;  // numeric columns before a point, and integer fields
    std::uint64_t point = 0;         // where a fixed-point field's point must stand
    std::uint64_t digit = 0;         // the decimals after it
    std::uint64_t blanksFirst = 0;   // columns whose blank needs a blank before it
    std::uint64_t all = 0;           // the record's columns
    bool fits = false;               // the plan's fields all have a common form of a word
};

[[nodiscard]] constexpr std::uint64_t columnBits(std::int32_t from, std::int32_t to) {
    std::uint64_t bits = 0;
    for (std::int32_t column = from; column < to; ++column) bits |= std::uint64_t{1} << column;
    return bits;
}

// Records of 16 to 64 columns, whose numeric fields are I of at most eight
// columns or F of at most eight with the point inside the field.
[[nodiscard]] constexpr ColumnMasks maskColumns(const ColumnPlan& plan) {
    if (!plan.usable || plan.columns < 16 || plan.columns > 64) return {};
    ColumnMasks masks;
    for (std::int32_t f = 0; f < plan.count; ++f) {
        const FieldColumns& field = plan.fields[f];
        const std::int32_t end = field.start + field.width;
        if (field.kind == DescriptorKind::IntegerField) {
            if (field.width < 1 || field.width > 8) return {};
            masks.digitOrBlank |= columnBits(field.start, end);
            masks.blanksFirst |= columnBits(field.start + 1, end);
        } else if (field.kind == DescriptorKind::FixedPointField) {
            if (field.width > 8 || field.decimals < 1 || field.decimals >= field.width) return {};
            const std::int32_t point = end - 1 - field.decimals;
            masks.digitOrBlank |= columnBits(field.start, point);
            masks.blanksFirst |= columnBits(field.start + 1, point);
            masks.point |= columnBits(point, point + 1);
            masks.digit |= columnBits(point + 1, end);
        }
    }
    masks.all = columnBits(0, plan.columns);
    masks.fits = kWordsApply;
    return masks;
}

template <const ColumnPlan& kPlan>
inline constexpr ColumnMasks kColumnMasks = maskColumns(kPlan);

#if defined(__SSE2__)
// The record is looked at in sixteens: the whole sixteens from column 0,
// and, when the columns are not a multiple of sixteen, the sixteen ending
// at the last column (its columns in the sixteen before it are looked at
// twice, alike).
[[nodiscard]] constexpr std::int32_t sixteenCount(std::int32_t columns) {
    return columns / 16 + (columns % 16 != 0 ? 1 : 0);
}
[[nodiscard]] constexpr std::int32_t sixteenStart(std::int32_t columns, std::int32_t part) {
    return part < columns / 16 ? 16 * part : columns - 16;
}

// What sixteen columns must hold, as one byte range per column: a column
// holds its common form when its byte, a blank in a digit-or-blank column
// first taken for a '0', lies in [low, low + span]. Digits are ['0', '9'],
// a point ['.', '.'], and a column outside the numeric fields takes
// anything above a carriage return, [0x0E, 0xFF].
struct SixteenRanges {
    alignas(16) unsigned char blankToZero[16] = {};  // ' ' | 0x10 is '0'
    alignas(16) unsigned char low[16] = {};
    alignas(16) unsigned char span[16] = {};
};

struct ColumnRange {
    unsigned char blankToZero = 0;
    unsigned char low = 0;
    unsigned char span = 0;
};

[[nodiscard]] constexpr ColumnRange columnRange(const ColumnMasks& masks, std::int32_t column) {
    const std::uint64_t bit = std::uint64_t{1} << column;
    if ((masks.digitOrBlank & bit) != 0) return {0x10, '0', 9};
    if ((masks.digit & bit) != 0) return {0, '0', 9};
    if ((masks.point & bit) != 0) return {0, '.', 0};
    return {0, '\r' + 1, 0xFF - ('\r' + 1)};
}

template <const ColumnMasks& kMasks, std::int32_t kStart>
inline constexpr SixteenRanges kSixteenRanges = [] {
    SixteenRanges ranges;
    for (std::int32_t i = 0; i < 16; ++i) {
        const ColumnRange range = columnRange(kMasks, kStart + i);
        ranges.blankToZero[i] = range.blankToZero;
        ranges.low[i] = range.low;
        ranges.span[i] = range.span;
    }
    return ranges;
}();

[[gnu::always_inline]] inline __m128i loadSixteen(const unsigned char* bytes) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes));
}

// The bytes outside their ranges (nonzero bytes), and the blanks (for the
// order of blanks and digits within a field, one bit per column).
struct ColumnClasses {
    __m128i outside = _mm_setzero_si128();
    std::uint64_t blanks = 0;
};

// Sixteen bytes against the ranges of their columns: nonzero bytes where a
// byte lies outside, a blank first taken for a '0' where `blankToZero` asks.
[[gnu::always_inline]] inline __m128i outsideRanges(__m128i bytes, __m128i blanks,
                                                    __m128i blankToZero, __m128i low,
                                                    __m128i span) {
    const __m128i taken = _mm_or_si128(bytes, _mm_and_si128(blanks, blankToZero));
    // (byte - low) wraps around below low, so one unsigned saturating
    // subtraction of the span leaves zero exactly inside the range.
    return _mm_subs_epu8(_mm_sub_epi8(taken, low), span);
}

// Sixteen columns from column `kStart`.
template <const ColumnMasks& kMasks, std::int32_t kStart>
[[gnu::always_inline]] inline void classifySixteen(const char* record, ColumnClasses& classes) {
    constexpr const SixteenRanges& kRanges = kSixteenRanges<kMasks, kStart>;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + kStart));
    const __m128i blanks = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
    const __m128i outside = outsideRanges(bytes, blanks, loadSixteen(kRanges.blankToZero),
                                          loadSixteen(kRanges.low), loadSixteen(kRanges.span));
    classes.outside = _mm_or_si128(classes.outside, outside);
    classes.blanks |= std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(blanks))}
                      << kStart;
}

template <const ColumnMasks& kMasks, std::int32_t kColumns, std::size_t... kPart>
[[gnu::always_inline]] inline ColumnClasses classifyParts(const char* record,
                                                          std::index_sequence<kPart...> /*parts*/) {
    ColumnClasses classes;
    (classifySixteen<kMasks, sixteenStart(kColumns, static_cast<std::int32_t>(kPart))>(record,
                                                                                       classes),
     ...);
    return classes;
}

// Nonzero unless every column holds what the masks ask.
template <const ColumnMasks& kMasks, std::int32_t kColumns>
[[gnu::always_inline]] inline std::uint64_t refusedColumns(const char* record) {
    const ColumnClasses c = classifyParts<kMasks, kColumns>(
        record, std::make_index_sequence<static_cast<std::size_t>(sixteenCount(kColumns))>{});
    const auto inside = static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(c.outside, _mm_setzero_si128())));
    const std::uint64_t blankAfterDigit = c.blanks & ~(c.blanks << 1) & kMasks.blanksFirst;
    return (inside ^ 0xFFFFu) | blankAfterDigit;
}

// ---------------------------------------------------------------------------
// The conversion of a record in common forms, all its numeric fields at
// once. Each sixteen's digit values (bytes less '0', saturating: blanks and
// points give 0) are widened to 16 bits and multiplied pairwise by weights
// (_mm_madd_epi16): each 32-bit lane holds the weighted sum of two adjacent
// columns. A field's number is then the sum of its lanes, each times a
// multiplier. With a digit's place p in its field (0 for the last digit),
// a lane whose places are at most 4 weighs each digit 10^p (10^4 is the
// largest power of ten in a signed 16-bit weight) and has multiplier 1;
// a lane of higher places, lowest place e, weighs 10^(p - e) and has
// multiplier 10^e. Columns that are no field's digits (and columns already
// seen in an earlier sixteen) weigh 0. This needs each lane's digits to
// belong to one field: the plan `fits` only then.
struct LaneTerm {
    std::int32_t lane = 0;
    std::uint32_t multiplier = 1;
};

struct FieldLanes {
    static constexpr int kCapacity = 8;
    LaneTerm terms[kCapacity] = {};
    std::int32_t count = 0;
};

struct LanePlan {
    static constexpr int kSixteens = 4;  // records of at most 64 columns
    static constexpr int kLanes = 8 * kSixteens;
    struct Weights {
        alignas(16) std::int16_t columns[16] = {};
    } weights[kSixteens] = {};
    FieldLanes fields[ColumnPlan::kCapacity] = {};
    bool fits = false;
};

[[nodiscard]] constexpr LanePlan planLanes(const ColumnPlan& plan, const ColumnMasks& masks) {
    if (!masks.fits) return {};
    LanePlan lanes;
    constexpr std::int32_t kNoField = -1;
    std::int32_t laneField[LanePlan::kLanes] = {};
    std::int32_t lowestPlace[LanePlan::kLanes] = {};
    std::int32_t highestPlace[LanePlan::kLanes] = {};
    for (std::int32_t lane = 0; lane < LanePlan::kLanes; ++lane) laneField[lane] = kNoField;
    // The lane of each numeric column, in the first sixteen holding it.
    auto laneOf = [&](std::int32_t column) {
        std::int32_t part = column / 16;
        if (part >= plan.columns / 16) part = sixteenCount(plan.columns) - 1;
        return 8 * part + (column - sixteenStart(plan.columns, part)) / 2;
    };
    // Visits the digit columns of every numeric field from its last column
    // on, with the decimal place each one holds (the point's column holds
    // none); stops at the first visit that returns false.
    auto forEachDigitColumn = [&](auto visit) {
        for (std::int32_t f = 0; f < plan.count; ++f) {
            const FieldColumns& field = plan.fields[f];
            if (field.kind == DescriptorKind::CharacterField) continue;
            const std::int32_t end = field.start + field.width;
            const std::int32_t point =
                field.kind == DescriptorKind::FixedPointField ? end - 1 - field.decimals : -1;
            std::int32_t place = 0;
            for (std::int32_t column = end - 1; column >= field.start; --column) {
                if (column == point) continue;
                if (!visit(f, column, place)) return false;
                ++place;
            }
        }
        return true;
    };
    const bool lanesUnshared =
        forEachDigitColumn([&](std::int32_t f, std::int32_t column, std::int32_t place) {
            const std::int32_t lane = laneOf(column);
            if (laneField[lane] == kNoField) {
                laneField[lane] = f;
                lowestPlace[lane] = place;
            } else if (laneField[lane] != f) {
                return false;  // a lane shared by two fields
            }
            highestPlace[lane] = place;
            return true;
        });
    if (!lanesUnshared) return {};
    forEachDigitColumn([&](std::int32_t, std::int32_t column, std::int32_t place) {
        const std::int32_t lane = laneOf(column);
        const std::int32_t exponent = highestPlace[lane] <= 4 ? 0 : lowestPlace[lane];
        lanes.weights[lane / 8].columns[column - sixteenStart(plan.columns, lane / 8)] =
            static_cast<std::int16_t>(kPowersOfTen[place - exponent]);
        return true;
    });
    for (std::int32_t lane = 0; lane < LanePlan::kLanes; ++lane) {
        if (laneField[lane] == kNoField) continue;
        FieldLanes& terms = lanes.fields[laneField[lane]];
        if (terms.count == FieldLanes::kCapacity) return {};
        const std::int32_t exponent = highestPlace[lane] <= 4 ? 0 : lowestPlace[lane];
        terms.terms[terms.count++] = {lane, static_cast<std::uint32_t>(kPowersOfTen[exponent])};
    }
    lanes.fits = true;
    return lanes;
}

template <const ColumnPlan& kPlan>
inline constexpr LanePlan kLanePlan = planLanes(kPlan, kColumnMasks<kPlan>);

// The weighted lanes of the sixteen from column `kStart`.
template <const ColumnPlan& kPlan, std::int32_t kPart>
[[gnu::always_inline]] inline void weighSixteen(const char* record, std::uint32_t* lanes) {
    constexpr const LanePlan::Weights& kWeights = kLanePlan<kPlan>.weights[kPart];
    const __m128i bytes = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(record + sixteenStart(kPlan.columns, kPart)));
    const __m128i digits = _mm_subs_epu8(bytes, _mm_set1_epi8('0'));
    const __m128i zero = _mm_setzero_si128();
    const __m128i* weights = reinterpret_cast<const __m128i*>(kWeights.columns);
    auto* out = reinterpret_cast<__m128i*>(lanes + 8 * kPart);
    _mm_store_si128(out, _mm_madd_epi16(_mm_unpacklo_epi8(digits, zero), _mm_load_si128(weights)));
    _mm_store_si128(out + 1,
                    _mm_madd_epi16(_mm_unpackhi_epi8(digits, zero), _mm_load_si128(weights + 1)));
}

// Makes the compiler store the lanes and read them back from memory, one
// instruction each (an add or a multiply from memory): left to itself, it
// keeps them in vector registers and takes three instructions to get each.
// The empty statement may read the array, so the stores must happen first.
[[gnu::always_inline]] inline void storeLanes(const std::uint32_t* lanes) {
    __asm__("" : : "r"(lanes) : "memory");
}

// A numeric field's number: the sum of its lanes, each times its multiplier
// (at most 99,999,999: eight digits).
template <const ColumnPlan& kPlan, std::size_t kField, std::size_t... kTerm>
[[gnu::always_inline]] inline std::uint32_t laneNumber(const std::uint32_t* lanes,
                                                       std::index_sequence<kTerm...> /*terms*/) {
    constexpr const FieldLanes& kLanes = kLanePlan<kPlan>.fields[kField];
    return (0u + ... + (lanes[kLanes.terms[kTerm].lane] * kLanes.terms[kTerm].multiplier));
}

template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline std::uint32_t laneNumber(const std::uint32_t* lanes) {
    return laneNumber<kPlan, kField>(lanes, std::make_index_sequence<static_cast<std::size_t>(
                                                kLanePlan<kPlan>.fields[kField].count)>{});
}

template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline void laneField(const char* /*record*/, const std::uint32_t* lanes,
                                             std::int32_t& item) {
    item = static_cast<std::int32_t>(laneNumber<kPlan, kField>(lanes));
}

// The digits without the point, whose number over 10^decimals is the value:
// exactly the column-at-a-time reader's division.
template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline void laneField(const char* /*record*/, const std::uint32_t* lanes,
                                             double& item) {
    const auto number = static_cast<std::int32_t>(laneNumber<kPlan, kField>(lanes));
    item = static_cast<double>(number) / kExactPowersOfTen[kPlan.fields[kField].decimals];
}

template <const ColumnPlan& kPlan, std::size_t kField>
[[gnu::always_inline]] inline void laneField(const char* record, const std::uint32_t* /*lanes*/,
                                             char& item) {
    item = record[kPlan.fields[kField].start];
}

template <const ColumnPlan& kPlan, std::size_t... kPart, std::size_t... kFields, class... Items>
[[gnu::always_inline]] inline void convertByLanes(const char* record,
                                                  std::index_sequence<kPart...> /*parts*/,
                                                  std::index_sequence<kFields...> /*fields*/,
                                                  Items&... items) {
    alignas(16) std::uint32_t lanes[LanePlan::kLanes];
    (weighSixteen<kPlan, static_cast<std::int32_t>(kPart)>(record, lanes), ...);
    storeLanes(lanes);
    (laneField<kPlan, kFields>(record, lanes, items), ...);
}
#endif

// A field's digit values in the top bytes of a word (the first column in the
// lowest of them), zeros below; blanks count as zeros, a point as 14.
template <FieldColumns kField>
[[gnu::always_inline]] inline std::uint64_t fieldDigits(const char* record) {
    static_assert(kField.width >= 1 && kField.width <= 8);
    constexpr std::uint64_t kFieldBytes = ~std::uint64_t{0} << (8 * (8 - kField.width) % 64);
    constexpr std::int32_t kEnd = kField.start + kField.width;
    std::uint64_t word = 0;
    if constexpr (kEnd >= 8) {
        std::memcpy(&word, record + kEnd - 8, 8);
    } else {
        std::memcpy(reinterpret_cast<char*>(&word) + (8 - kField.width), record + kField.start,
                    static_cast<std::size_t>(kField.width));
    }
    return word & kFieldBytes & (kEachByte * 0x0F);
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

// A field in a common form, already checked.
template <FieldColumns kField>
[[gnu::always_inline]] inline void commonField(const char* record, std::int32_t& item) {
    item = static_cast<std::int32_t>(digitsValue<kField.width>(fieldDigits<kField>(record)));
}

// The digits without the point, whose number over 10^decimals is the value.
template <FieldColumns kField>
[[gnu::always_inline]] inline void commonField(const char* record, double& item) {
    constexpr int kPointByte = 7 - kField.decimals;
    constexpr std::uint64_t kBefore = (std::uint64_t{1} << (8 * kPointByte)) - 1;
    constexpr std::uint64_t kAfter = ~std::uint64_t{0} << (8 * (kPointByte + 1));
    const std::uint64_t digits = fieldDigits<kField>(record);
    const std::uint64_t joined = (digits & kAfter) | ((digits & kBefore) << 8);
    // Below 10^7: converted as a signed number, which takes one instruction.
    const auto number = static_cast<std::int64_t>(digitsValue<kField.width - 1>(joined));
    item = static_cast<double>(number) / kExactPowersOfTen[kField.decimals];
}

template <FieldColumns kField>
[[gnu::always_inline]] inline void commonField(const char* record, char& item) {
    item = record[kField.start];
}

// The record's fields by the common-text reader when it takes them all, by
// the column-at-a-time reader otherwise.
template <const ColumnPlan& kPlan, std::size_t... kFields, class... Items>
[[gnu::always_inline]] inline bool readFields(const char* record,
                                              std::index_sequence<kFields...> fields,
                                              Items&... items) {
#if defined(__SSE2__)
    constexpr const ColumnMasks& kMasks = kColumnMasks<kPlan>;
    if constexpr (kMasks.fits) {
        if (refusedColumns<kMasks, kPlan.columns>(record) == 0) [[likely]] {
            if constexpr (kLanePlan<kPlan>.fits) {
                convertByLanes<kPlan>(record,
                                      std::make_index_sequence<static_cast<std::size_t>(
                                          sixteenCount(kPlan.columns))>{},
                                      fields, items...);
            } else {
                (commonField<kPlan.fields[kFields]>(record, items), ...);
            }
            return true;
        }
    }
#endif
    return readFieldByField<kPlan>(record, fields, items...);
}

// Joins the next block to the unread bytes when they are the start of a
// record by `plan` that the read statement would read to their end without a
// report; false, with nothing read, when they hold a line feed (the record
// is all here), anything a field would not take plainly, more bytes than
// the buffer can carry over, or when the join itself gives nothing new.
// `plainStart`: the caller has found the bytes a plain start already.
[[nodiscard]] bool joinNextBlock(InputBuffer& buffer, const ColumnPlan& plan,
                                 bool plainStart = false);

#if defined(__SSE2__)
// The column ranges of kSixteenRanges laid out over 128 columns: the
// record's from column 64 on, and before them columns that take any byte.
// Loaded from `count` on, they meet the 64 bytes that end with the first
// `count` bytes of a record.
struct ShiftedRanges {
    alignas(16) unsigned char blankToZero[128] = {};
    alignas(16) unsigned char low[128] = {};
    alignas(16) unsigned char span[128] = {};
};

template <const ColumnMasks& kMasks>
inline constexpr ShiftedRanges kShiftedRanges = [] {
    ShiftedRanges shifted;
    for (std::int32_t at = 0; at < 64; ++at) shifted.span[at] = 0xFF;
    for (std::int32_t column = 0; column < 64; ++column) {
        const ColumnRange range = columnRange(kMasks, column);
        shifted.blankToZero[64 + column] = range.blankToZero;
        shifted.low[64 + column] = range.low;
        shifted.span[64 + column] = range.span;
    }
    return shifted;
}();

[[gnu::always_inline]] inline __m128i loadAnySixteen(const void* bytes) {
    return _mm_loadu_si128(static_cast<const __m128i*>(bytes));
}

// Whether the first `count` bytes of a record (fewer than its columns) are a
// start that the read statement reads without a report: each holds a byte
// of its column's range (so no line end either). They are looked at where
// they lie, in the 64 bytes that end with them, which the caller knows to be
// the buffer's, against the ranges moved along by `count`. The order of
// blanks and digits in a field, which decides the values but never a
// report, is left to the reading of the whole record.
template <const ColumnPlan& kPlan>
[[gnu::always_inline]] inline bool startsCommonly(const char* start, std::uint32_t count) {
    constexpr const ShiftedRanges& kRanges = kShiftedRanges<kColumnMasks<kPlan>>;
    const char* const window = start + count - 64;
    __m128i outside = _mm_setzero_si128();
    for (std::uint32_t part = 0; part < 64; part += 16) {
        const __m128i bytes = loadAnySixteen(window + part);
        const __m128i blanks = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '));
        outside =
            _mm_or_si128(outside, outsideRanges(bytes, blanks,
                                                loadAnySixteen(kRanges.blankToZero + count + part),
                                                loadAnySixteen(kRanges.low + count + part),
                                                loadAnySixteen(kRanges.span + count + part)));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi8(outside, _mm_setzero_si128())) == 0xFFFF;
}
#endif

// Joins the next block as joinNextBlock does, looking at the start of the
// record in common forms first.
template <const ColumnPlan& kPlan>
[[gnu::always_inline]] inline bool joinNextBlockTo(InputBuffer& buffer) {
#if defined(__SSE2__)
    if constexpr (kColumnMasks<kPlan>.fits) {
        const std::uint32_t count = buffer.unreadCount();
        if (count < static_cast<std::uint32_t>(kPlan.columns) &&
            buffer.bytesBefore() + count >= 64 &&
            startsCommonly<kPlan>(buffer.unreadBytes(), count)) {
            return joinNextBlock(buffer, kPlan, true);
        }
    }
#endif
    return joinNextBlock(buffer, kPlan);
}

// Whether the `count` bytes at `at` start with a carriage return and a line
// feed, compared as one 16-bit word.
[[gnu::always_inline]] inline bool lineEndsAt(const char* at, std::uint32_t count) {
    if (count < 2) return false;
    std::uint16_t pair = 0;
    std::memcpy(&pair, at, 2);
    constexpr auto kCarriageReturnLineFeed =
        static_cast<std::uint16_t>(kWordsApply ? '\r' | ('\n'
                                                         << 8)
                                               : ('\r' << 8) | '\n');
    return pair == kCarriageReturnLineFeed;
}

// A record lying whole in the unread bytes, read by the compiled readers.
template <const ColumnPlan& kPlan, class... Items>
[[gnu::always_inline]] inline bool readWholeRecord(InputBuffer& buffer, Items&... items) {
    constexpr auto kColumns = static_cast<std::uint32_t>(kPlan.columns);
    const char* record = buffer.unreadBytes();
    const std::uint32_t available = buffer.unreadCount();
    if (available <= kColumns) return false;
    if (!readFields<kPlan>(record, std::index_sequence_for<Items...>{}, items...)) return false;
    // The record's line feed must be among the unread bytes; it usually
    // follows the fields at once or after a carriage return.
    std::uint32_t end = kColumns;
    if (lineEndsAt(record + end, available - end)) {
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
template <const ColumnPlan& kPlan, class... Items>
[[gnu::noinline]] bool readAcrossBlocks(InputBuffer& buffer, Items&... items) {
    while (joinNextBlockTo<kPlan>(buffer)) {
        if (readWholeRecord<kPlan>(buffer, items...)) return true;
    }
    return false;
}

}  // namespace columns_detail

// Reads one record by `kPlan` into `items` (one per field, in order: an
// std::int32_t for I, a double for F, a char for A1) and takes it through its
// line feed; false, with nothing taken and the items' values unspecified,
// when the fast path does not apply.
//
//     static constexpr ColumnPlan kPlan = planColumns(parseLayout("(64X,I4)"));
//     if (!readColumns<kPlan>(buffer, count)) { /* InputStatement */ }
template <const ColumnPlan& kPlan, class... Items>
[[nodiscard, gnu::always_inline]] inline bool readColumns(InputBuffer& buffer, Items&... items) {
    static_assert(kPlan.usable, "the layout is outside the fast path");
    static_assert(sizeof...(Items) == static_cast<std::size_t>(kPlan.count), "one item per field");
    return columns_detail::readWholeRecord<kPlan>(buffer, items...) ||
           columns_detail::readAcrossBlocks<kPlan>(buffer, items...);
}

}  // namespace gscmerge::textio
