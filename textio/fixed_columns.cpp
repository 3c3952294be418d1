// Plain numeric fields converted straight from their columns.
#include "textio/fixed_columns.h"

#include <cstring>

namespace gscmerge::textio {

bool tryReadColumns(InputBuffer& buffer, const ColumnPlan& plan, ColumnValue* values) {
    if (!plan.usable) return false;
    const char* record = buffer.unreadBytes();
    const std::uint32_t available = buffer.unreadCount();
    const auto columns = static_cast<std::uint32_t>(plan.columns);
    // The record's line feed must be in this block, and the fields' columns
    // must hold no line end.
    const auto* lineFeed = static_cast<const char*>(std::memchr(record, '\n', available));
    if (lineFeed == nullptr || lineFeed - record < plan.columns) return false;
    if (std::memchr(record, '\r', columns) != nullptr) return false;

    for (std::int32_t f = 0; f < plan.count; ++f) {
        const ColumnField& field = plan.fields[f];
        const char* text = record + field.start;
        switch (field.kind) {
            case DescriptorKind::IntegerField:
                if (!columns_detail::plainInteger(text, field.width, &values[f].integer)) {
                    return false;
                }
                break;
            case DescriptorKind::FixedPointField:
                if (!columns_detail::plainFixed(text, field.width, field.decimals,
                                                &values[f].real)) {
                    return false;
                }
                break;
            default:
                values[f].character = text[0];
                break;
        }
    }
    buffer.advance(static_cast<std::uint32_t>(lineFeed - record) + 1);
    return true;
}

}  // namespace gscmerge::textio
