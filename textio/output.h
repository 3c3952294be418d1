// Write statements: one record built from a layout and its items, placed in a
// connection's buffer (file bytes reach the file a whole buffer at a time),
// or one message line on the console.
//
//     OutputStatement write(connection, kStarLayout);
//     write.putInteger(1234);              // items are only copied (or staged) here
//     ...
//     write.endWrite();                    // builds the record, ends it with CR LF
//
//     OutputStatement message(consoleUnit());
//     message.putText("Error: ...", 40);
//     message.endWrite();                  // one write to standard output
//
// Nothing of a record reaches the file's buffer before `endWrite`: a
// statement abandoned on the way (the process ends between two puts) leaves
// no trace in the file.
//
// A layout that is a constant is better written with the typed `writeRecord`
// (textio/record_statements.h), which places the record straight from the
// compiled layout's plan; this statement is its reference.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "textio/console.h"
#include "textio/decimal_tables.h"
#include "textio/floating_point.h"
#include "textio/layout.h"
#include "textio/output_buffer.h"
#include "textio/units.h"

namespace gscmerge::textio {

// A fixed-point item given exactly, as a whole number of units of its
// field's last decimal: FixedUnits<2>{45} is 0.45 for an F field with two
// decimals. The field shows it as it shows the double nearest that value,
// with nothing left to round: for a caller that has its value rounded
// already. The typed `writeRecord` takes it for an F field with exactly
// kDecimals decimals.
template <std::int32_t kDecimals>
struct FixedUnits {
    static_assert(kDecimals >= 0 && kDecimals <= 3);
    std::int32_t units = 0;
};

// Two one-digit integer fields from one number below 100: DigitPair{47}
// places 4 in the first and 7 in the second, as the items 47 / 10 and
// 47 % 10 would, without taking the number apart. Any other value places
// what those two items place (asterisks where a part is no digit). The
// typed `writeRecord` takes it for two I1 fields in a row.
struct DigitPair {
    std::int32_t value = 0;
};

class OutputStatement {
public:
    // beginWrite on a connected file. The statement keeps a reference to
    // `layout`, which must outlive it (a temporary may not).
    OutputStatement(UnitConnection& connection, const RecordLayout& layout);
    OutputStatement(UnitConnection& connection, const RecordLayout&& layout) = delete;
    // beginWrite into any buffer; `name` is what error reports show.
    OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout);
    OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout&& layout) = delete;
    // beginWrite of a console message line (no layout).
    explicit OutputStatement(ConsoleUnit& console);

    OutputStatement(const OutputStatement&) = delete;
    OutputStatement& operator=(const OutputStatement&) = delete;

    void putInteger(std::int32_t value) { addInteger(value); }
    void putReal(double value) { addReal(value); }
    // Copies `length` characters; a negative length counts as 0.
    void putText(const char* chars, std::int32_t length);
    // Executes the statement: places every item by the layout, finishes the
    // layout and ends the record; for the console, writes the record.
    void endWrite();

    // The walk's actions for a write (used by the layout cursor).
    struct Actions {
        OutputStatement& statement;
        void literal(const FieldDescriptor& descriptor) { statement.placeLiteral(descriptor); }
        void restart() { statement.endRecord(); }
        [[noreturn]] void fault(int number);
    };

private:
    static constexpr int kConsoleRoom = 80;  // the line-control blank and 79 characters

    enum class ItemKind : std::uint8_t { Integer, Real, Text };
    struct Item {
        ItemKind kind;
        std::int32_t integer;
        double real;
        std::uint32_t textStart;  // into the statement's text copies
        std::uint32_t textLength;
    };

    // The items of a statement in order. The program's statements (at most
    // 18 items, at most 45 characters) stay in the inline room; a longer one
    // moves to the heap.
    class ItemList {
    public:
        void add(const Item& item) {
            if (count_ < kInlineItems && spilled_.empty()) {
                inline_[count_++] = item;
                return;
            }
            addSpilled(item);
        }
        void addSpilled(const Item& item);
        // Copies the characters and returns where they start.
        std::uint32_t addText(const char* chars, std::uint32_t length);
        [[nodiscard]] std::size_t size() const { return count_; }
        [[nodiscard]] const Item& operator[](std::size_t i) const {
            return spilled_.empty() ? inline_[i] : spilled_[i];
        }
        [[nodiscard]] const char* text(std::uint32_t start) const {
            return (spilledText_.empty() ? inlineText_ : spilledText_.data()) + start;
        }

    private:
        static constexpr std::size_t kInlineItems = 24;
        static constexpr std::size_t kInlineText = 128;
        // Only the first count_ items and textLength_ characters are ever
        // read, so the inline room is left uninitialised.
        Item inline_[kInlineItems];
        std::vector<Item> spilled_;
        std::size_t count_ = 0;
        char inlineText_[kInlineText];
        std::vector<char> spilledText_;
        std::size_t textLength_ = 0;
    };

    void addInteger(std::int32_t value);
    void addReal(double value);
    const FieldDescriptor& nextField();
    void placeChar(char c) {
        if (console_ != nullptr) return placeConsoleChar(c);
        if (cursor_.pendingSkip > 0) {
            stageBlanks(cursor_.pendingSkip);
            cursor_.pendingSkip = 0;
        }
        stage(c);
    }
    void placeChars(const char* chars, std::int64_t count);
    void placeConsoleChar(char c);
    void placeLiteral(const FieldDescriptor& descriptor);
    void placeItem(const Item& item);
    void placeMessageText(const Item& item);
    void endRecord();
    void flushConsoleRecord();
    void stage(char c) {
        if (staged_ == kStageSize) spillStaged();
        stage_[staged_++] = c;
    }
    void stageBlanks(std::int64_t count);
    void spillStaged();
    [[noreturn]] void raiseWrite(int number);
    template <class Text>
    void placeNumeric(const Text& text, std::int32_t width);

    OutputBuffer* buffer_ = nullptr;
    const char* name_ = "CON";
    ConsoleUnit* console_ = nullptr;
    LayoutCursor cursor_;
    ItemList items_;
    std::int32_t consoleLength_ = 0;
    char consoleRecord_[kConsoleRecordSize];
    // A file record is built here and handed to the buffer in one piece at
    // its end (or before a failure is reported, so that what was placed
    // stays placed); a record longer than the stage goes on in pieces.
    static constexpr int kStageSize = 256;
    std::int32_t staged_ = 0;
    char stage_[kStageSize];
};

// ---------------------------------------------------------------------------
// Records placed straight from a compiled layout's plan (see OutputPlan in
// textio/layout.h), for the typed `writeRecord`: the record is built at the
// buffer's fill position (or in a stage when the block's room is short), its
// literal and blank columns copied whole, each field written into its
// columns from the end, and handed over with its CR LF in one step. The
// bytes are those the layout walk places for the same items.
namespace output_detail {

// The general fields, out of line: `out` is the field's first column, and
// the field's columns hold blanks.
void placeInteger(char* out, std::int32_t width, std::int32_t minimumDigits, std::int32_t value);
void placeFixed(char* out, std::int32_t width, std::int32_t decimals, double value);

// |value| in units of its last decimal, `decimals` of them, as the two
// roundings of a fixed-point field give it: 17 significant digits (half up on
// the 18th of the exact expansion), then `decimals` decimals (half up on
// those 17), for whole parts below 10^16. False from 2^52 on, and for
// infinities and NaNs.
//
// With |value| = m / 2^s exactly, F = m x 10^d / 2^s is the value in units,
// and the two roundings give floor(F + 1/2 + 5 x 10^(n-18)), n the digits of
// the rounded whole units: the first rounding moves F by less than half a
// unit of its 17th digit, which matters only when F lies that close below a
// half. So F is taken apart exactly into its whole units and the remainder
// r / 2^s, with one 64-bit product (m < 2^53 and 10^d <= 1000), and only a
// remainder just below the half needs a closer look.
template <std::int32_t kDecimals>
[[gnu::always_inline]] inline bool fixedUnits(double value, std::uint64_t* units) {
    static_assert(kDecimals >= 0 && kDecimals <= 3);
    const auto bits = std::bit_cast<std::uint64_t>(value);
    const auto biased = static_cast<std::int32_t>((bits >> 52) & 0x7FF);
    // |value| = mantissa / 2^shift for normal values; below 2^-11 (the
    // subnormals among them), F stays under 1/2 by far; from 2^52 on (and
    // for infinities and NaNs) the general path decides.
    const std::uint64_t mantissa =
        (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const std::int32_t shift = 1075 - biased;
    if (static_cast<std::uint32_t>(shift - 1) > 62) [[unlikely]] {
        if (shift < 64) return false;
        *units = 0;
        return true;
    }
    const std::uint64_t scaled = mantissa * kPowersOfTen[kDecimals];
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    // F + 1/2: its whole part is F rounded half up.
    const std::uint64_t lifted = scaled + half;
    *units = lifted >> shift;
    // Just below the half, by at most half/64 (for s >= 7: the fraction of
    // F + 1/2 is then at least 1 - 2^-7, its top seven bits set; it is
    // below 1/2 when F reached the half): the first rounding lifts F to the
    // half when half - rest <= 2^(s-1) / 10^(17-n).
    constexpr std::uint64_t kJustBelowWhole = ~std::uint64_t{0} << 57;
    if (lifted << (64 - shift) >= kJustBelowWhole) [[unlikely]] {
        const std::uint64_t rest = scaled & ((std::uint64_t{1} << shift) - 1);
        std::int32_t digits = 0;
        while (digits < 16 && *units >= kPowersOfTen[digits]) ++digits;
        if (half - rest <= half / kPowersOfTen[17 - digits]) ++*units;
    }
    return true;
}

// Integer fields: a single digit, and up to four digits under the default
// minimum, two at a time from the pair tables, without a branch on the
// value's length; the rest out of line.
template <FieldColumns kField>
[[gnu::always_inline]] inline void placeField(char* record, std::int32_t value) {
    static_assert(kField.kind == DescriptorKind::IntegerField);
    char* const out = record + kField.start;
    if constexpr (kField.decimals == 1 && kField.width == 1) {
        // -1 would be "-1", 10 "10": both too wide.
        out[0] = static_cast<std::uint32_t>(value) <= 9 ? static_cast<char>('0' + value) : '*';
    } else if constexpr (kField.decimals == 1 && kField.width <= 4) {
        if (static_cast<std::uint32_t>(value) < kPowersOfTen[kField.width]) [[likely]] {
            // The last two digits, with a leading zero as a blank when they
            // are all there is; what stands before them from the hundreds.
            const auto hundreds = static_cast<std::uint32_t>(value) / 100;
            const auto last = static_cast<std::uint32_t>(value) % 100;
            const char* const lastPair =
                hundreds == 0 ? &kBlankedPairs[2 * last] : &kDigitPairs[2 * last];
            std::memcpy(out + kField.width - 2, lastPair, 2);
            if constexpr (kField.width == 4) {
                const char* const firstPair = hundreds == 0 ? "  " : &kBlankedPairs[2 * hundreds];
                std::memcpy(out, firstPair, 2);
            } else if constexpr (kField.width == 3) {
                out[0] = hundreds == 0 ? ' ' : static_cast<char>('0' + hundreds);
            }
            return;
        }
        placeInteger(out, kField.width, kField.decimals, value);
    } else {
        placeInteger(out, kField.width, kField.decimals, value);
    }
}

constexpr bool isDigitField(const FieldColumns& field) {
    return field.kind == DescriptorKind::IntegerField && field.width == 1 && field.decimals == 1;
}

// Two one-digit fields from a pair of the digit table; a value beyond it as
// its two parts.
template <FieldColumns kTens, FieldColumns kUnits>
[[gnu::always_inline]] inline void placeField(char* record, DigitPair value) {
    static_assert(isDigitField(kTens) && isDigitField(kUnits));
    if (static_cast<std::uint32_t>(value.value) < 100) [[likely]] {
        const char* const pair = &kDigitPairs[2 * static_cast<std::uint32_t>(value.value)];
        if constexpr (kUnits.start == kTens.start + 1) {
            std::memcpy(record + kTens.start, pair, 2);
        } else {
            record[kTens.start] = pair[0];
            record[kUnits.start] = pair[1];
        }
        return;
    }
    placeField<kTens>(record, value.value / 10);
    placeField<kUnits>(record, value.value % 10);
}

// The digits of a fixed-point field that `units` fit, its sign included.
template <FieldColumns kField, class Unsigned>
[[gnu::always_inline]] inline void placeFixedDigits(char* out, bool sign, Unsigned units) {
    constexpr std::int32_t kDecimals = kField.decimals;
    constexpr std::int32_t kRoom = kField.width - 1 - kDecimals;
    constexpr auto kUnit = static_cast<Unsigned>(kPowersOfTen[kDecimals]);
    const Unsigned whole = units / kUnit;
    char* at = out + kField.width;
    if constexpr (kDecimals > 0) {
        auto fraction = static_cast<std::uint32_t>(units - whole * kUnit);
        if constexpr (kDecimals == 3) {
            *--at = static_cast<char>('0' + fraction % 10);
            fraction /= 10;
        }
        if constexpr (kDecimals == 1) {
            *--at = static_cast<char>('0' + fraction);
        } else {
            at -= 2;
            std::memcpy(at, &kDigitPairs[2 * fraction], 2);
        }
    }
    *--at = '.';
    if constexpr (kRoom == 2) {
        // No more than two digits before the point (a magnitude's): both
        // columns at once, without a branch on how many there are, which
        // values on either side of 10 would mispredict. With decimals, 0
        // shows no digit at all.
        const char* const pair = kDecimals > 0 && whole == 0
                                     ? "  "
                                     : &kBlankedPairs[2 * static_cast<std::size_t>(whole)];
        at -= 2;
        std::memcpy(at, pair, 2);
        // A negative value has room for one digit (a value shown as zero has
        // no sign): the sign stands just before it, or before the point.
        if (sign) at[whole == 0 ? 1 : 0] = '-';
        return;
    }
    if (whole != 0) {
        at = writeDigitsBackwards(whole, at);
    } else if constexpr (kDecimals == 0) {
        *--at = '0';
    }
    if (sign) *--at = '-';
}

// A fixed-point field of at most 16 columns and 3 decimals from its units
// and sign (a text longer than the field is asterisks), in 32 bits where
// the field's widest value fits them.
template <FieldColumns kField, class Unsigned>
[[gnu::always_inline]] inline void placeFixedUnits(char* out, bool sign, Unsigned units) {
    constexpr std::int32_t kDecimals = kField.decimals;
    static_assert(kDecimals <= 3 && kField.width <= 16);
    // The columns left for the whole part's digits: "0." needs one when
    // there are no decimals, ".dd" none. Too many whole digits are too many
    // units.
    constexpr std::int32_t kRoom = kField.width - 1 - kDecimals;
    const std::int32_t room = kRoom - (sign ? 1 : 0);
    if (room < (kDecimals == 0 ? 1 : 0) || units >= kPowersOfTen[room + kDecimals]) {
        std::memset(out, '*', static_cast<std::size_t>(kField.width));
        return;
    }
    if constexpr (kPowersOfTen[kRoom + kDecimals] <= std::uint64_t{1} << 32) {
        placeFixedDigits<kField>(out, sign, static_cast<std::uint32_t>(units));
    } else {
        placeFixedDigits<kField>(out, sign, units);
    }
}

// Fixed-point fields of at most 16 columns and 3 decimals from their units;
// the rest out of line.
template <FieldColumns kField>
[[gnu::always_inline]] inline void placeField(char* record, double value) {
    static_assert(kField.kind == DescriptorKind::FixedPointField);
    char* const out = record + kField.start;
    constexpr std::int32_t kDecimals = kField.decimals;
    std::uint64_t units = 0;
    if constexpr (kDecimals <= 3 && kField.width <= 16) {
        if (fixedUnits<kDecimals>(value, &units)) [[likely]] {
            // A value that rounds to zero shows no minus sign.
            const bool sign = std::bit_cast<std::int64_t>(value) < 0 && units != 0;
            placeFixedUnits<kField>(out, sign, units);
            return;
        }
    }
    placeFixed(out, kField.width, kDecimals, value);
}

// An exact value: its units are the field's, with nothing to round.
template <FieldColumns kField, std::int32_t kDecimals>
[[gnu::always_inline]] inline void placeField(char* record, FixedUnits<kDecimals> value) {
    static_assert(kField.kind == DescriptorKind::FixedPointField && kField.decimals == kDecimals);
    if constexpr (kField.width <= 16) {
        const bool negative = value.units < 0;
        const auto units = static_cast<std::uint32_t>(value.units);
        placeFixedUnits<kField>(record + kField.start, negative, negative ? 0u - units : units);
    } else {
        placeFixed(record + kField.start, kField.width, kDecimals,
                   static_cast<double>(value.units) / kExactPowersOfTen[kDecimals]);
    }
}

}  // namespace output_detail

// The units of `value` that a fixed-point field with kDecimals decimals
// shows (after both its roundings), as the exact item for that field:
// false where they do not fit 32 bits, and for infinities and NaNs. A value
// that rounds to zero gives 0, which shows no minus sign, as the value does.
template <std::int32_t kDecimals>
[[nodiscard, gnu::always_inline]] inline bool roundToUnits(double value,
                                                           FixedUnits<kDecimals>* item) {
    std::uint64_t units = 0;
    if (!output_detail::fixedUnits<kDecimals>(value, &units) || units > 0x7FFFFFFFu) return false;
    const auto magnitude = static_cast<std::int32_t>(units);
    item->units = std::bit_cast<std::int64_t>(value) < 0 ? -magnitude : magnitude;
    return true;
}

namespace output_detail {

// A text is right-justified, or cut to the field's width.
template <FieldColumns kField>
[[gnu::always_inline]] inline void placeField(char* record, char value) {
    static_assert(kField.kind == DescriptorKind::CharacterField);
    record[kField.start + kField.width - 1] = value;
}

template <FieldColumns kField>
[[gnu::always_inline]] inline void placeField(char* record, std::string_view value) {
    static_assert(kField.kind == DescriptorKind::CharacterField);
    const std::size_t count =
        value.size() < static_cast<std::size_t>(kField.width) ? value.size() : kField.width;
    std::memcpy(record + kField.start + (kField.width - count), value.data(), count);
}

// The fields an item fills: two for a digit pair, one for any other.
template <class Item>
inline constexpr std::int32_t kFieldsOfItem = 1;
template <>
inline constexpr std::int32_t kFieldsOfItem<DigitPair> = 2;

template <class... Items>
inline constexpr std::int32_t kFieldsOfItems = (0 + ... + kFieldsOfItem<Items>);

// The plan's field of each item (the first of its fields).
template <class... Items>
constexpr std::array<std::int32_t, sizeof...(Items)> firstFieldsOf() {
    constexpr std::int32_t kFields[] = {kFieldsOfItem<Items>..., 0};
    std::array<std::int32_t, sizeof...(Items)> first{};
    std::int32_t field = 0;
    for (std::size_t item = 0; item < first.size(); ++item) {
        first[item] = field;
        field += kFields[item];
    }
    return first;
}

template <const OutputPlan& kPlan, std::int32_t kField, class Item>
[[gnu::always_inline]] inline void placeItem(char* record, const Item& item) {
    if constexpr (std::is_same_v<Item, DigitPair>) {
        placeField<kPlan.fields[kField], kPlan.fields[kField + 1]>(record, item);
    } else {
        placeField<kPlan.fields[kField]>(record, item);
    }
}

template <const OutputPlan& kPlan, std::size_t... kItems, class... Items>
[[gnu::always_inline]] inline void placeFields(char* record,
                                               std::index_sequence<kItems...> /*items*/,
                                               const Items&... items) {
    static constexpr auto kFirst = firstFieldsOf<Items...>();
    (placeItem<kPlan, kFirst[kItems]>(record, items), ...);
}

// The whole record by `kPlan`, one item per field (a digit pair for two),
// every text holding at least one character (an empty text places nothing,
// and its blanks stay owed: the walk's).
template <const OutputPlan& kPlan, class... Items>
[[gnu::always_inline]] inline void writePlannedRecord(OutputBuffer& buffer, const Items&... items) {
    static_assert(kPlan.usable && kFieldsOfItems<Items...> == kPlan.count);
    // A real value made by an operation that should have trapped is never
    // written. Placing fields does no floating-point arithmetic, so one test
    // before the first stands for one before each; a record of integers and
    // exact units has no real value to test.
    if constexpr ((std::is_same_v<Items, double> || ...)) raiseIfFloatingPointFlagged();
    constexpr auto kLength = static_cast<std::size_t>(kPlan.length);
    char stage[kLength + 2];
    char* const room = buffer.room(kLength + 2);
    char* const record = room != nullptr ? room : stage;
    std::memcpy(record, kPlan.columns, kLength);
    placeFields<kPlan>(record, std::index_sequence_for<Items...>{}, items...);
    record[kLength] = '\r';
    record[kLength + 1] = '\n';
    if (room != nullptr) {
        buffer.commit(kLength + 2);
    } else {
        buffer.putChars(stage, kLength + 2);
    }
}

}  // namespace output_detail

// One console message line: `text` after the line-control blank, written to
// standard output at once with its line end owed.
void writeConsoleMessage(std::string_view text);

}  // namespace gscmerge::textio
