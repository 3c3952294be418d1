// Field texts placed into records: right justification through owed blanks,
// asterisks for values too wide, CR LF record ends, console line control.
#include "textio/output.h"

#include <cassert>

#include "textio/decimal_format.h"
#include "textio/platform.h"
#include "textio/termination.h"

namespace gscmerge::textio {
namespace {

const RecordLayout& noLayout() {
    static constexpr RecordLayout kEmpty = parseLayout("()");
    return kEmpty;
}

}  // namespace

OutputStatement::OutputStatement(UnitConnection& connection, const RecordLayout& layout)
    : buffer_(&connection.output), name_(connection.fileName), cursor_(layout) {
    connection.outputWaiting = true;
}

OutputStatement::OutputStatement(OutputBuffer& buffer, const char* name,
                                 const RecordLayout& layout)
    : buffer_(&buffer), name_(name), cursor_(layout) {}

OutputStatement::OutputStatement(ConsoleUnit& console) : console_(&console), cursor_(noLayout()) {
    cursor_.pendingSkip = 1;  // the line-control character
}

void OutputStatement::Actions::fault(int number) {
    raiseRuntimeError(number, StatementKind::Write, statement.name_);
}

const FieldDescriptor& OutputStatement::nextField() {
    Actions actions{*this};
    return cursor_.nextDataDescriptor(actions);
}

void OutputStatement::placeChar(char c) {
    if (console_ != nullptr) {
        // A console line has room for 80 characters; a longer message goes on
        // in a new record, which again begins with its line-control blank.
        while (cursor_.pendingSkip > 0) {
            if (consoleLength_ == kConsoleRoom) writeConsoleRecord();
            consoleRecord_[consoleLength_++] = ' ';
            --cursor_.pendingSkip;
        }
        if (consoleLength_ == kConsoleRoom) {
            writeConsoleRecord();
            consoleRecord_[consoleLength_++] = ' ';
        }
        consoleRecord_[consoleLength_++] = c;
        return;
    }
    if (cursor_.pendingSkip > 0) {
        buffer_->putBlanks(cursor_.pendingSkip);
        cursor_.pendingSkip = 0;
    }
    buffer_->putChar(c);
}

void OutputStatement::placeLiteral(const FieldDescriptor& descriptor) {
    for (std::int32_t i = 0; i < descriptor.textLength; ++i) {
        placeChar(descriptor.text[i]);
        // A doubled delimiter stands for one.
        if (descriptor.text[i] == descriptor.delimiter) ++i;
    }
}

template <class Text>
void OutputStatement::placeNumeric(const Text& text, std::int32_t width) {
    const std::int64_t length = text.length();
    if (length > width) {
        for (std::int32_t i = 0; i < width; ++i) placeChar('*');
        return;
    }
    cursor_.pendingSkip += width - length;
    text.write([this](char c) { placeChar(c); });
}

void OutputStatement::putInteger(std::int32_t value) {
    assert(console_ == nullptr && "console messages carry text only");
    const FieldDescriptor& field = nextField();
    if (field.kind == DescriptorKind::FixedPointField) {
        raiseRuntimeError(6207, StatementKind::Write, name_);
    }
    if (field.kind != DescriptorKind::IntegerField) {
        raiseRuntimeError(6205, StatementKind::Write, name_);
    }
    placeNumeric(formatInteger(value, field.digits), field.width);
}

void OutputStatement::putReal(double value) {
    assert(console_ == nullptr && "console messages carry text only");
    const FieldDescriptor& field = nextField();
    if (field.kind == DescriptorKind::IntegerField) {
        raiseRuntimeError(6206, StatementKind::Write, name_);
    }
    if (field.kind != DescriptorKind::FixedPointField) {
        raiseRuntimeError(6205, StatementKind::Write, name_);
    }
    placeNumeric(formatFixed(value, field.digits), field.width);
}

void OutputStatement::putText(const char* chars, std::int32_t length) {
    if (length < 0) length = 0;
    if (console_ != nullptr) {
        for (std::int32_t i = 0; i < length; ++i) placeChar(chars[i]);
        return;
    }
    const FieldDescriptor& field = nextField();
    if (field.kind != DescriptorKind::CharacterField) {
        raiseRuntimeError(6205, StatementKind::Write, name_);
    }
    std::int32_t count = length;
    if (field.width != 0 && length > field.width) count = field.width;
    if (field.width != 0 && length < field.width) cursor_.pendingSkip += field.width - length;
    for (std::int32_t i = 0; i < count; ++i) placeChar(chars[i]);
}

void OutputStatement::endRecord() {
    if (console_ != nullptr) {
        writeConsoleRecord();
        return;
    }
    cursor_.pendingSkip = 0;
    buffer_->putChar('\r');
    buffer_->putChar('\n');
}

// Line control: the record's first character is not written; it decides what
// goes before the rest. Nothing is written after it: the line end is owed.
void OutputStatement::writeConsoleRecord() {
    char bytes[kConsoleRecord + 8];
    int length = 0;
    const bool open = console_->lineEndOwed;
    const char control = consoleLength_ > 0 ? consoleRecord_[0] : ' ';
    auto add = [&](const char* text) {
        while (*text != '\0') bytes[length++] = *text++;
    };
    switch (control) {
        case '0':
            add(open ? "\r\n\r\n" : "\r\n");
            break;
        case '+':
            add("\r");
            break;
        case '1':
            add("\r\n\f\r \r");
            break;
        default:
            if (open) add("\r\n");
            break;
    }
    for (int i = 1; i < consoleLength_; ++i) bytes[length++] = consoleRecord_[i];
    (void)platform::systemCalls().writeStandard(platform::StandardStream::Output, bytes,
                                                static_cast<std::size_t>(length));
    console_->lineEndOwed = true;
    consoleLength_ = 0;
}

void OutputStatement::endWrite() {
    if (console_ != nullptr) {
        // A message starts with its owed blank even when it has no characters.
        if (consoleLength_ == 0) consoleRecord_[consoleLength_++] = ' ';
        cursor_.pendingSkip = 0;
        writeConsoleRecord();
        return;
    }
    Actions actions{*this};
    cursor_.finishLayout(actions);
    endRecord();
}

}  // namespace gscmerge::textio

namespace gscmerge::textio {

void writeConsoleMessage(std::string_view text) {
    OutputStatement message(consoleUnit());
    message.putText(text.data(), static_cast<std::int32_t>(text.size()));
    message.endWrite();
}

}  // namespace gscmerge::textio
