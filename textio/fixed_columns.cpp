// Plain numeric fields converted straight from their columns.
#include "textio/fixed_columns.h"

#include <cstring>

namespace gscmerge::textio {
namespace {

// A record lying whole in the unread bytes, read by the run-time plan.
bool readWholeRecord(InputBuffer& buffer, const ColumnPlan& plan, ColumnValue* values) {
    const char* record = buffer.unreadBytes();
    const std::uint32_t available = buffer.unreadCount();
    const auto columns = static_cast<std::uint32_t>(plan.columns);
    // The record's line feed must be among the unread bytes, and the fields'
    // columns must hold no line end (nor other control characters up to a
    // carriage return, which the compiled reader leaves to the statement).
    const auto* lineFeed = static_cast<const char*>(std::memchr(record, '\n', available));
    if (lineFeed == nullptr || lineFeed - record < plan.columns) return false;
    for (std::uint32_t column = 0; column < columns; ++column) {
        if (columns_detail::mayEndLine(record[column])) return false;
    }

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
        const ColumnField& field = plan.fields[f];
        const auto fieldStart = static_cast<std::uint32_t>(field.start);
        if (fieldStart >= count) break;
        const char* text = start + field.start;
        const std::uint32_t seen = count - fieldStart;
        const bool whole = seen >= static_cast<std::uint32_t>(field.width);
        const bool isFixed = field.kind == DescriptorKind::FixedPointField;
        if (field.kind == DescriptorKind::CharacterField) continue;  // any character but a line end
        if (whole) {
            ColumnValue value;
            const bool plain =
                isFixed ? columns_detail::plainFixed(text, field.width, field.decimals, &value.real)
                        : columns_detail::plainInteger(text, field.width, &value.integer);
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

bool columns_detail::joinNextBlock(InputBuffer& buffer, const ColumnPlan& plan) {
    const char* start = buffer.unreadBytes();
    const std::uint32_t count = buffer.unreadCount();
    if (count > buffer.carryCapacity()) return false;
    if (std::memchr(start, '\n', count) != nullptr) return false;
    if (!startReadsWithoutReport(plan, start, count)) return false;
    return buffer.extendWindow();
}

bool tryReadColumns(InputBuffer& buffer, const ColumnPlan& plan, ColumnValue* values) {
    if (!plan.usable) return false;
    if (readWholeRecord(buffer, plan, values)) return true;
    while (columns_detail::joinNextBlock(buffer, plan)) {
        if (readWholeRecord(buffer, plan, values)) return true;
    }
    return false;
}

}  // namespace gscmerge::textio
