// Reading fields: collecting the characters of a field from the record and
// handing them to the numeric conversions, or into a character item.
#include "textio/input.h"

#include "textio/error_report.h"
#include "textio/floating_point.h"
#include "textio/numeric_input.h"

namespace gscmerge::textio {
namespace {

constexpr int kEndOfFileMark = 26;  // inside a numeric field it ends the file

bool endsRecordData(int c) {
    return c == '\r' || c == '\n';
}

[[noreturn]] void raiseRead(const InputBuffer& buffer, int number) {
    raiseRuntimeError(number, StatementKind::Read, buffer.name());
}

// Collects the characters of a numeric field of `width` columns into `text`:
// blanks and tabs are passed over, a line end stays unread and ends the field
// early, a comma is taken and ends it. An integer passes over its zeros
// before anything is collected; a fixed-point text keeps them and gets a 0
// inserted after a first sign and before a first point (-.5 is -0.5).
template <class Text>
void collectField(InputBuffer& buffer, std::int32_t width, Text& text, bool isFixed) {
    bool collected = false;
    for (std::int32_t column = 0; column < width; ++column) {
        const int c = buffer.peekChar();
        if (endsRecordData(c)) return;
        buffer.skipChar();
        if (c == ' ' || c == '\t') continue;
        if (c == ',') return;
        if (c == kEndOfFileMark) raiseRead(buffer, 6501);
        if (!collected) {
            if (c == '0' && !isFixed) continue;
            if (isFixed && c == '.') text.add('0');
            text.add(static_cast<char>(c));
            if (isFixed && (c == '+' || c == '-')) text.add('0');
            collected = true;
            continue;
        }
        text.add(static_cast<char>(c));
    }
}

}  // namespace

void InputStatement::Actions::literal(const FieldDescriptor&) {
    raiseRead(buffer, 6509);
}

void InputStatement::Actions::fault(int number) {
    raiseRead(buffer, number);
}

const FieldDescriptor& InputStatement::nextField() {
    Actions actions{buffer_};
    return cursor_.nextDataDescriptor(actions);
}

void InputStatement::passPendingSkip() {
    for (std::int64_t i = 0; i < cursor_.pendingSkip; ++i) {
        if (endsRecordData(buffer_.peekChar())) break;
        buffer_.skipChar();
    }
    cursor_.pendingSkip = 0;
}

void InputStatement::getInteger(std::int32_t& item) {
    const FieldDescriptor& field = nextField();
    if (field.kind == DescriptorKind::FixedPointField) raiseRead(buffer_, 6207);
    if (field.kind != DescriptorKind::IntegerField) raiseRead(buffer_, 6205);
    passPendingSkip();
    IntegerConversion conversion;
    collectField(buffer_, field.width, conversion, false);
    if (conversion.error() != 0) raiseRead(buffer_, conversion.error());
    item = conversion.value();
}

void InputStatement::getReal(double& item) {
    const FieldDescriptor& field = nextField();
    if (field.kind == DescriptorKind::IntegerField) raiseRead(buffer_, 6206);
    if (field.kind != DescriptorKind::FixedPointField) raiseRead(buffer_, 6205);
    passPendingSkip();
    FixedConversion conversion(field.digits);
    collectField(buffer_, field.width, conversion, true);
    const double value = conversion.value();
    // A value beyond the range of reals (5D309) overflowed in the
    // conversion: the run ends here, as the trap would have ended it there.
    raiseIfFloatingPointFlagged();
    if (conversion.error() != 0) raiseRead(buffer_, conversion.error());
    item = value;
}

void InputStatement::getText(char* item, std::int32_t length) {
    const FieldDescriptor& field = nextField();
    if (field.kind != DescriptorKind::CharacterField) raiseRead(buffer_, 6205);
    passPendingSkip();
    const std::int64_t width = field.width == 0 ? length : field.width;
    std::int32_t filled = 0;
    bool lineEnded = false;
    // A field wider than the item gives the item its rightmost characters.
    for (std::int64_t i = length; i < width; ++i) {
        if (endsRecordData(buffer_.peekChar())) {
            lineEnded = true;
            break;
        }
        buffer_.skipChar();
    }
    const std::int64_t wanted = width < length ? width : length;
    while (!lineEnded && filled < wanted) {
        const int c = buffer_.peekChar();
        if (endsRecordData(c)) break;
        buffer_.skipChar();
        item[filled++] = static_cast<char>(c);
    }
    for (std::int32_t i = filled; i < length; ++i) item[i] = ' ';
}

void InputStatement::endRead() {
    Actions actions{buffer_};
    cursor_.finishLayout(actions);
    buffer_.endRecord();
}

}  // namespace gscmerge::textio
