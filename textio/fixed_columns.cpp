// Plain numeric fields converted straight from their columns.
#include "textio/fixed_columns.h"

#include <cstring>

namespace gscmerge::textio {
namespace {

// Every power of ten up to 10^22 is exactly a double.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Blanks, one first sign, at most 9 digits: the value the integer reader
// gives for the same text, which cannot overflow with 9 digits.
bool plainInteger(const char* text, std::int32_t width, std::int32_t* value) {
    std::int32_t i = 0;
    while (i < width && text[i] == ' ') ++i;
    bool negative = false;
    if (i < width && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int32_t magnitude = 0;
    int digits = 0;
    for (; i < width; ++i) {
        const auto digit = static_cast<unsigned>(text[i] - '0');
        if (digit < 10) {
            magnitude = magnitude * 10 + static_cast<std::int32_t>(digit);
            ++digits;
        } else if (text[i] != ' ') {
            return false;
        }
    }
    if (digits > 9) return false;
    *value = negative ? -magnitude : magnitude;
    return true;
}

// Blanks, one first sign, at most 15 digits with at most one point: the
// digits form an exact integer below 2^53 and the scale is at most 22, so one
// IEEE division gives the nearest double, exactly as the fixed-point reader
// does for the same text.
bool plainFixed(const char* text, std::int32_t width, std::int32_t decimals, double* value) {
    std::int32_t i = 0;
    while (i < width && text[i] == ' ') ++i;
    bool negative = false;
    if (i < width && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint64_t mantissa = 0;
    int digits = 0;
    int pointAt = -1;  // digits before the point
    for (; i < width; ++i) {
        const auto digit = static_cast<unsigned>(text[i] - '0');
        if (digit < 10) {
            mantissa = mantissa * 10 + digit;
            ++digits;
        } else if (text[i] == '.' && pointAt < 0) {
            pointAt = digits;
        } else if (text[i] != ' ') {
            return false;
        }
    }
    if (digits > 15) return false;
    const std::int32_t scale = pointAt >= 0 ? digits - pointAt : decimals;
    if (scale < 0 || scale > 22) return false;
    const double magnitude = static_cast<double>(mantissa) / kExactPowersOfTen[scale];
    *value = negative ? -magnitude : magnitude;
    return true;
}

}  // namespace

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
                if (!plainInteger(text, field.width, &values[f].integer)) return false;
                break;
            case DescriptorKind::FixedPointField:
                if (!plainFixed(text, field.width, field.decimals, &values[f].real)) return false;
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
