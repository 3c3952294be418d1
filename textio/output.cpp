// Field texts placed into records: right justification through owed blanks,
// asterisks for values too wide, CR LF record ends, console message lines.
#include "textio/output.h"

#include <cassert>
#include <cstring>
#include <new>

#include "textio/console.h"
#include "textio/decimal_format.h"
#include "textio/decimal_tables.h"
#include "textio/error_report.h"
#include "textio/floating_point.h"
#include "textio/platform.h"

namespace gscmerge::textio {
namespace {

const RecordLayout& noLayout() {
    static constexpr RecordLayout kEmpty = parseLayout("()");
    return kEmpty;
}

[[noreturn]] void reportNoStorage() {
    raiseRuntimeError(6700, StatementKind::None, {});
}

}  // namespace

void OutputStatement::ItemList::addSpilled(const Item& item) {
    try {
        if (spilled_.empty()) spilled_.assign(inline_, inline_ + count_);
        spilled_.push_back(item);
    } catch (const std::bad_alloc&) {
        reportNoStorage();
    }
    ++count_;
}

std::uint32_t OutputStatement::ItemList::addText(const char* chars, std::uint32_t length) {
    const auto start = static_cast<std::uint32_t>(textLength_);
    // An empty text may come without any characters to point at.
    if (length == 0) return start;
    if (textLength_ + length <= kInlineText && spilledText_.empty()) {
        std::memcpy(inlineText_ + textLength_, chars, length);
    } else {
        try {
            if (spilledText_.empty()) spilledText_.assign(inlineText_, inlineText_ + textLength_);
            spilledText_.insert(spilledText_.end(), chars, chars + length);
        } catch (const std::bad_alloc&) {
            reportNoStorage();
        }
    }
    textLength_ += length;
    return start;
}

OutputStatement::OutputStatement(UnitConnection& connection, const RecordLayout& layout)
    : buffer_(&connection.output), name_(connection.fileName), cursor_(layout) {
    connection.outputWaiting = true;
}

OutputStatement::OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout)
    : buffer_(&buffer), name_(name), cursor_(layout) {}

OutputStatement::OutputStatement(ConsoleUnit& console) : console_(&console), cursor_(noLayout()) {}

void OutputStatement::Actions::fault(int number) {
    statement.raiseWrite(number);
}

void OutputStatement::raiseWrite(int number) {
    if (console_ == nullptr) spillStaged();
    raiseRuntimeError(number, StatementKind::Write, name_);
}

void OutputStatement::spillStaged() {
    buffer_->putChars(stage_, static_cast<std::size_t>(staged_));
    staged_ = 0;
}

void OutputStatement::stageBlanks(std::int64_t count) {
    while (count > 0) {
        if (staged_ == kStageSize) spillStaged();
        const std::int64_t room = kStageSize - staged_;
        const std::int64_t part = count < room ? count : room;
        std::memset(stage_ + staged_, ' ', static_cast<std::size_t>(part));
        staged_ += static_cast<std::int32_t>(part);
        count -= part;
    }
}

void OutputStatement::addInteger(std::int32_t value) {
    assert(console_ == nullptr && "console messages carry text only");
    items_.add({ItemKind::Integer, value, 0.0, 0, 0});
}

void OutputStatement::addReal(double value) {
    assert(console_ == nullptr && "console messages carry text only");
    items_.add({ItemKind::Real, 0, value, 0, 0});
}

void OutputStatement::putText(const char* chars, std::int32_t length) {
    const std::uint32_t count = length > 0 ? static_cast<std::uint32_t>(length) : 0;
    const std::uint32_t start = items_.addText(chars, count);
    items_.add({ItemKind::Text, 0, 0.0, start, count});
}

// The general integer field: the digits of the magnitude (none for 0),
// zeros up to m, the sign, right-justified in the field's blanks; asterisks
// when they do not fit.
void output_detail::placeInteger(char* out, std::int32_t width, std::int32_t minimumDigits,
                                 std::int32_t value) {
    const bool negative = value < 0;
    auto magnitude = static_cast<std::uint32_t>(value);
    if (negative) magnitude = 0u - magnitude;
    std::int32_t count = 0;
    while (count < 10 && magnitude >= kPowersOfTen[count]) ++count;
    const std::int32_t shown = count > minimumDigits ? count : minimumDigits;
    if (static_cast<std::int64_t>(negative ? 1 : 0) + shown > width) {
        std::memset(out, '*', static_cast<std::size_t>(width));
        return;
    }
    char* at = out + width;
    if (magnitude > 0) at = writeDigitsBackwards(magnitude, at);
    for (std::int32_t i = count; i < shown; ++i) *--at = '0';
    if (negative) *--at = '-';
}

// The general fixed-point field, by the texts of decimal_format.h.
void output_detail::placeFixed(char* out, std::int32_t width, std::int32_t decimals, double value) {
    char tail[kFixedTailRoom];
    const std::int32_t tailLength = formatFixedTail(value, decimals, tail + kFixedTailRoom);
    if (tailLength >= 0) {
        if (tailLength > width) {
            std::memset(out, '*', static_cast<std::size_t>(width));
        } else {
            char* const to = out + width;
            for (std::int32_t i = 1; i <= tailLength; ++i) to[-i] = tail[kFixedTailRoom - i];
        }
        return;
    }
    const FormattedFixed text = formatFixed(value, decimals);
    const std::int64_t length = text.length();
    if (length > width) {
        std::memset(out, '*', static_cast<std::size_t>(width));
        return;
    }
    text.writeTo(out + (width - length));
}

const FieldDescriptor& OutputStatement::nextField() {
    Actions actions{*this};
    return cursor_.nextDataDescriptor(actions);
}

void OutputStatement::placeConsoleChar(char c) {
    // A console line has room for 80 characters; a longer message goes on in
    // a new record, which again begins with its line-control blank.
    while (cursor_.pendingSkip > 0) {
        if (consoleLength_ == kConsoleRoom) flushConsoleRecord();
        consoleRecord_[consoleLength_++] = ' ';
        --cursor_.pendingSkip;
    }
    if (consoleLength_ == kConsoleRoom) {
        flushConsoleRecord();
        consoleRecord_[consoleLength_++] = ' ';
    }
    consoleRecord_[consoleLength_++] = c;
}

void OutputStatement::placeChars(const char* chars, std::int64_t count) {
    // Owed blanks appear only when a character follows them.
    if (count <= 0) return;
    if (console_ == nullptr && count <= kStageSize) {
        if (cursor_.pendingSkip > 0) {
            stageBlanks(cursor_.pendingSkip);
            cursor_.pendingSkip = 0;
        }
        if (staged_ + count > kStageSize) spillStaged();
        for (std::int64_t i = 0; i < count; ++i) stage_[staged_ + i] = chars[i];
        staged_ += static_cast<std::int32_t>(count);
        return;
    }
    for (std::int64_t i = 0; i < count; ++i) placeChar(chars[i]);
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
    if (length <= 64) {
        char chars[64];
        std::int64_t count = 0;
        text.write([&](char c) { chars[count++] = c; });
        placeChars(chars, count);
        return;
    }
    text.write([this](char c) { placeChar(c); });
}

// One item under its data descriptor: the descriptor must suit the item's
// kind, then its text is built and placed.
void OutputStatement::placeItem(const Item& item) {
    const FieldDescriptor& field = nextField();
    switch (item.kind) {
        case ItemKind::Integer:
            if (field.kind == DescriptorKind::FixedPointField) {
                raiseWrite(6207);
            }
            if (field.kind != DescriptorKind::IntegerField) {
                raiseWrite(6205);
            }
            // One digit under the default minimum: the common case of digit fields.
            if (item.integer >= 0 && item.integer <= 9 && field.digits == 1 && field.width >= 1) {
                cursor_.pendingSkip += field.width - 1;
                placeChar(static_cast<char>('0' + item.integer));
                return;
            }
            placeNumeric(formatInteger(item.integer, field.digits), field.width);
            return;
        case ItemKind::Real:
            if (field.kind == DescriptorKind::IntegerField) {
                raiseWrite(6206);
            }
            if (field.kind != DescriptorKind::FixedPointField) {
                raiseWrite(6205);
            }
            raiseIfFloatingPointFlagged();
            placeNumeric(formatFixed(item.real, field.digits), field.width);
            return;
        case ItemKind::Text: {
            if (field.kind != DescriptorKind::CharacterField) {
                raiseWrite(6205);
            }
            // A shorter item is right-justified, a longer one keeps its start.
            const auto length = static_cast<std::int64_t>(item.textLength);
            std::int64_t count = length;
            if (field.width != 0 && length > field.width) count = field.width;
            if (field.width != 0 && length < field.width)
                cursor_.pendingSkip += field.width - length;
            const char* chars = items_.text(item.textStart);
            placeChars(chars, count);
            return;
        }
    }
}

void OutputStatement::placeMessageText(const Item& item) {
    assert(item.kind == ItemKind::Text && "console messages carry text only");
    const char* chars = items_.text(item.textStart);
    for (std::uint32_t i = 0; i < item.textLength; ++i) placeChar(chars[i]);
}

void OutputStatement::endRecord() {
    if (console_ != nullptr) {
        flushConsoleRecord();
        return;
    }
    cursor_.pendingSkip = 0;
    stage('\r');
    stage('\n');
    spillStaged();
}

void OutputStatement::flushConsoleRecord() {
    writeConsoleRecord(*console_, consoleRecord_, static_cast<std::size_t>(consoleLength_));
    consoleLength_ = 0;
}

void OutputStatement::endWrite() {
    if (console_ != nullptr) {
        cursor_.pendingSkip = 1;  // the line-control character
        for (std::size_t i = 0; i < items_.size(); ++i) placeMessageText(items_[i]);
        // A message without characters still has its line-control blank.
        if (consoleLength_ == 0) consoleRecord_[consoleLength_++] = ' ';
        cursor_.pendingSkip = 0;
        flushConsoleRecord();
        return;
    }
    for (std::size_t i = 0; i < items_.size(); ++i) placeItem(items_[i]);
    Actions actions{*this};
    cursor_.finishLayout(actions);
    endRecord();
}

void writeConsoleMessage(std::string_view text) {
    OutputStatement message(consoleUnit());
    message.putText(text.data(), static_cast<std::int32_t>(text.size()));
    message.endWrite();
}

}  // namespace gscmerge::textio
