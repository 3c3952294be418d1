// A fast path for read statements whose layout holds only integer,
// fixed-point, character and skip descriptors, on records that lie whole in
// the current block and whose fields hold plain numbers.
//
// Such a record's fields sit at fixed columns: with no comma, tab, carriage
// return or line feed among them, no field can end early, so each field is
// the slice of its columns. `tryReadColumns` converts the slices and takes
// the record only when every field is plain (blanks, a first sign, digits, one
// point); anything else — a short line, an exponent, a radix form, a record
// crossing the block's end — returns false with nothing taken, and the caller
// reads the record with an InputStatement, which gives the same values for
// every plain record and the run-time error for the rest.
//
//     constexpr ColumnPlan kPlan = planColumns(parseLayout("(64X,I4)"));
//     ColumnValue count;
//     if (!tryReadColumns(buffer, kPlan, &count)) { /* InputStatement */ }
#pragma once

#include <cstdint>

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
[[nodiscard]] bool tryReadColumns(InputBuffer& buffer, const ColumnPlan& plan,
                                  ColumnValue* values);

}  // namespace gscmerge::textio
