// Plain numeric fields converted straight from their columns: the join of a
// record that crosses the end of a block.
#include "textio/fixed_columns.h"

#include <cstring>

namespace gscmerge::textio {
namespace {

// Whether the read statement would read the `count` bytes at `start` (no
// line feed among them) as the start of a record by `plan` without a report:
// a report comes either from a field's whole text, once the field ends, or
// from a character 26 in a numeric field; and a carriage return would end
// the fields early. So every field that ends among the bytes must be plain
// and convert, and the field cut by their end must be plain so far.
bool startReadsWithoutReport(const ColumnPlan& plan, const char* start, std::uint32_t count) {
    const auto columns = static_cast<std::uint32_t>(plan.columns);
    if (std::memchr(start, '\r', count < columns ? count : columns) != nullptr) return false;
    for (std::int32_t f = 0; f < plan.count; ++f) {
        const FieldColumns& field = plan.fields[f];
        const auto fieldStart = static_cast<std::uint32_t>(field.start);
        if (fieldStart >= count) break;
        if (field.kind == DescriptorKind::CharacterField) continue;  // any character but a line end
        const char* text = start + field.start;
        const std::uint32_t seen = count - fieldStart;
        const bool isFixed = field.kind == DescriptorKind::FixedPointField;
        if (seen >= static_cast<std::uint32_t>(field.width)) {
            double real = 0.0;
            std::int32_t integer = 0;
            const bool plain =
                isFixed ? columns_detail::plainFixed(text, field.width, field.decimals, &real)
                        : columns_detail::plainInteger(text, field.width, &integer);
            if (!plain) return false;
            continue;
        }
        columns_detail::PlainText partial;
        for (std::uint32_t i = 0; i < seen; ++i) {
            const bool plain = isFixed ? columns_detail::plainStep<true>(partial, text[i])
                                       : columns_detail::plainStep<false>(partial, text[i]);
            if (!plain) return false;
        }
    }
    return true;
}

}  // namespace

bool columns_detail::joinNextBlock(InputBuffer& buffer, const ColumnPlan& plan, bool plainStart) {
    const char* start = buffer.unreadBytes();
    const std::uint32_t count = buffer.unreadCount();
    if (count > buffer.carryCapacity()) return false;
    // A plain start holds no line feed: no field's common form takes one,
    // nor does any other column.
    if (!plainStart) {
        if (std::memchr(start, '\n', count) != nullptr) return false;
        if (!startReadsWithoutReport(plan, start, count)) return false;
    }
    return buffer.extendWindow();
}

}  // namespace gscmerge::textio
