// Typed record statements: one record read or written in one call, over a
// layout compiled at compile time (`compileLayout`, textio/layout.h).
//
//     constexpr auto kCountLine = compileLayout<"(64X,I4)">();
//     std::int32_t count = 0;
//     readRecord(input, kCountLine, count);
//
//     constexpr auto kStarLine = compileLayout<"('GSC',1X,I4,':',I4)">();
//     writeRecord(connection, kStarLine, region, number);
//
// Each item's kind is checked at compile time against the data descriptor
// it meets (an item beyond the layout's fields meets them again, as the
// layout starts over): read items are std::int32_t (I), double (F), and a
// char or a char array (A); write items are std::int32_t, double or
// FixedUnits with the field's decimals, a DigitPair for two I1 fields, and a
// char or a std::string_view. A statement whose items do not suit its
// layout, or whose layout is a temporary, does not compile.
//
// The statements behave exactly as the general InputStatement and
// OutputStatement given the same layout and items, and report what those
// report. Where the layout's plan allows it, they take a fast path first: a
// read converts the record straight from its columns when every field holds
// a plain number, and a write places every field straight into the record;
// anything else goes through the general statement.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>
#include <utility>

#include "textio/decimal_tables.h"
#include "textio/fixed_columns.h"
#include "textio/input.h"
#include "textio/layout.h"
#include "textio/output.h"
#include "textio/units.h"

namespace gscmerge::textio {
namespace record_detail {

// What an item is to a statement: the descriptor kind it needs, and for a
// character item its length.
template <class Item>
struct ReadItem {
    static constexpr bool kKnown = false;
};
template <>
struct ReadItem<std::int32_t> {
    static constexpr bool kKnown = true;
    static constexpr DescriptorKind kKind = DescriptorKind::IntegerField;
    static constexpr std::size_t kLength = 0;
};
template <>
struct ReadItem<double> {
    static constexpr bool kKnown = true;
    static constexpr DescriptorKind kKind = DescriptorKind::FixedPointField;
    static constexpr std::size_t kLength = 0;
};
template <>
struct ReadItem<char> {
    static constexpr bool kKnown = true;
    static constexpr DescriptorKind kKind = DescriptorKind::CharacterField;
    static constexpr std::size_t kLength = 1;
};
template <std::size_t kSize>
struct ReadItem<char[kSize]> {
    static constexpr bool kKnown = true;
    static constexpr DescriptorKind kKind = DescriptorKind::CharacterField;
    static constexpr std::size_t kLength = kSize;
};

template <class Item>
struct WriteItem {
    static constexpr bool kKnown = false;
};
template <DescriptorKind kKind>
struct WriteItemOfKind {
    static constexpr bool kKnown = true;
    static constexpr bool meets(const FieldDescriptor& field) { return field.kind == kKind; }
};
template <>
struct WriteItem<std::int32_t> : WriteItemOfKind<DescriptorKind::IntegerField> {};
template <>
struct WriteItem<double> : WriteItemOfKind<DescriptorKind::FixedPointField> {};
template <>
struct WriteItem<char> : WriteItemOfKind<DescriptorKind::CharacterField> {};
template <>
struct WriteItem<std::string_view> : WriteItemOfKind<DescriptorKind::CharacterField> {};
// Exact units are units of one number of decimals.
template <std::int32_t kDecimals>
struct WriteItem<FixedUnits<kDecimals>> {
    static constexpr bool kKnown = true;
    static constexpr bool meets(const FieldDescriptor& field) {
        return field.kind == DescriptorKind::FixedPointField && field.digits == kDecimals;
    }
};
// A digit pair fills two I1 fields (output_detail::kFieldsOfItem), each of
// which must be one.
template <>
struct WriteItem<DigitPair> {
    static constexpr bool kKnown = true;
    static constexpr bool meets(const FieldDescriptor& field) {
        return field.kind == DescriptorKind::IntegerField && field.width == 1 && field.digits == 1;
    }
};

template <class Layout, class... Items, std::size_t... kIndex>
constexpr bool readItemsMeetTheirFields(std::index_sequence<kIndex...> /*index*/) {
    return (Layout::itemMeets(static_cast<std::int64_t>(kIndex), ReadItem<Items>::kKind) && ...);
}

// Each field an item fills meets it; the fields are counted from the first
// item's, the items before taking theirs.
template <class Layout, class Item>
constexpr bool writeItemMeets(std::int64_t firstField) {
    for (std::int32_t f = 0; f < output_detail::kFieldsOfItem<Item>; ++f) {
        if (!WriteItem<Item>::meets(Layout::itemField(firstField + f))) return false;
    }
    return true;
}

template <class Layout, class... Items, std::size_t... kIndex>
constexpr bool writeItemsMeetTheirFields(std::index_sequence<kIndex...> /*index*/) {
    return (writeItemMeets<Layout, Items>(output_detail::firstFieldsOf<Items...>()[kIndex]) && ...);
}

template <class Layout, class... Items>
concept ReadableBy =
    (ReadItem<Items>::kKnown && ...) && !detail::holds(Layout::layout, DescriptorKind::Literal) &&
    readItemsMeetTheirFields<Layout, Items...>(std::index_sequence_for<Items...>{});

template <class Layout, class... Items>
concept WritableBy =
    (WriteItem<Items>::kKnown && ...) && writeItemsMeetTheirFields<Layout, Items...>(
                                             std::index_sequence_for<Items...>{});

// The column reader takes one item per field, a character field's item
// being one character.
template <class Layout, class... Items>
constexpr bool columnsRead() {
    return Layout::columns.usable &&
           sizeof...(Items) == static_cast<std::size_t>(Layout::columns.count) &&
           ((ReadItem<Items>::kKind != DescriptorKind::CharacterField ||
             ReadItem<Items>::kLength == 1) &&
            ...);
}

inline std::int32_t& columnItem(std::int32_t& item) {
    return item;
}
inline double& columnItem(double& item) {
    return item;
}
inline char& columnItem(char& item) {
    return item;
}
inline char& columnItem(char (&item)[1]) {
    return item[0];
}

inline void getItem(InputStatement& read, std::int32_t& item) {
    read.getInteger(item);
}
inline void getItem(InputStatement& read, double& item) {
    read.getReal(item);
}
inline void getItem(InputStatement& read, char& item) {
    read.getText(&item, 1);
}
template <std::size_t kSize>
void getItem(InputStatement& read, char (&item)[kSize]) {
    read.getText(item, static_cast<std::int32_t>(kSize));
}

inline void putItem(OutputStatement& write, std::int32_t item) {
    write.putInteger(item);
}
inline void putItem(OutputStatement& write, double item) {
    write.putReal(item);
}
inline void putItem(OutputStatement& write, char item) {
    write.putText(&item, 1);
}
inline void putItem(OutputStatement& write, std::string_view item) {
    write.putText(item.data(), static_cast<std::int32_t>(item.size()));
}
// The double nearest the exact value shows the same text.
template <std::int32_t kDecimals>
void putItem(OutputStatement& write, FixedUnits<kDecimals> item) {
    write.putReal(static_cast<double>(item.units) / kExactPowersOfTen[kDecimals]);
}
inline void putItem(OutputStatement& write, DigitPair item) {
    write.putInteger(item.value / 10);
    write.putInteger(item.value % 10);
}

// Only an empty text keeps a record off its plan.
constexpr bool placesCharacters(std::int32_t /*item*/) {
    return true;
}
constexpr bool placesCharacters(double /*item*/) {
    return true;
}
constexpr bool placesCharacters(char /*item*/) {
    return true;
}
constexpr bool placesCharacters(std::string_view item) {
    return !item.empty();
}
template <std::int32_t kDecimals>
constexpr bool placesCharacters(FixedUnits<kDecimals> /*item*/) {
    return true;
}
constexpr bool placesCharacters(DigitPair /*item*/) {
    return true;
}

template <class Layout, class... Items>
constexpr bool recordPlaced() {
    return Layout::record.usable && output_detail::kFieldsOfItems<Items...> == Layout::record.count;
}

template <class Layout, class... Items>
void writeItems(OutputBuffer& buffer, const char* name, const Items&... items) {
    if constexpr (recordPlaced<Layout, Items...>()) {
        if ((placesCharacters(items) && ...)) {
            output_detail::writePlannedRecord<Layout::record>(buffer, items...);
            return;
        }
    }
    OutputStatement write(buffer, name, Layout::layout);
    (putItem(write, items), ...);
    write.endWrite();
}

}  // namespace record_detail

// Reads one record into `items`, in order; returns only on success (every
// failure is the READ run-time error the read statement reports).
template <LayoutText kText, class... Items>
requires record_detail::ReadableBy<CompiledLayout<kText>, Items...>
void readRecord(InputBuffer& input, const CompiledLayout<kText>& /*layout*/, Items&... items) {
    using Layout = CompiledLayout<kText>;
    if constexpr (record_detail::columnsRead<Layout, Items...>()) {
        if (readColumns<Layout::columns>(input, record_detail::columnItem(items)...)) return;
    }
    InputStatement read(input, Layout::layout);
    (record_detail::getItem(read, items), ...);
    read.endRead();
}
template <LayoutText kText, class... Items>
void readRecord(InputBuffer& input, const CompiledLayout<kText>&& layout, Items&... items) = delete;

// Writes one record of `items` to a connected file (into its buffer; the
// file gets whole buffers). Returns only on success.
template <LayoutText kText, class... Items>
requires record_detail::WritableBy<CompiledLayout<kText>, Items...>
void writeRecord(UnitConnection& connection, const CompiledLayout<kText>& /*layout*/,
                 const Items&... items) {
    connection.outputWaiting = true;
    record_detail::writeItems<CompiledLayout<kText>>(connection.output, connection.fileName,
                                                     items...);
}
template <LayoutText kText, class... Items>
void writeRecord(UnitConnection& connection, const CompiledLayout<kText>&& layout,
                 const Items&... items) = delete;

// The same into any buffer; `name` is what error reports show.
template <LayoutText kText, class... Items>
requires record_detail::WritableBy<CompiledLayout<kText>, Items...>
void writeRecord(OutputBuffer& buffer, const char* name, const CompiledLayout<kText>& /*layout*/,
                 const Items&... items) {
    record_detail::writeItems<CompiledLayout<kText>>(buffer, name, items...);
}
template <LayoutText kText, class... Items>
void writeRecord(OutputBuffer& buffer, const char* name, const CompiledLayout<kText>&& layout,
                 const Items&... items) = delete;

}  // namespace gscmerge::textio
