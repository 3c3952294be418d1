// Field texts placed into records: right justification through owed blanks,
// asterisks for values too wide, CR LF record ends, console line control.
#include "textio/output.h"

#include <cassert>
#include <cstring>
#include <new>

#include "textio/decimal_format.h"
#include "textio/decimal_tables.h"
#include "textio/floating_point.h"
#include "textio/platform.h"
#include "textio/termination.h"

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

OutputStatement::OutputStatement(UnitConnection& connection, const RecordLayout& layout,
                                 const OutputPlan& plan)
    : OutputStatement(connection, layout) {
    if (plan.usable) startPlan(plan);
}

OutputStatement::OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout,
                                 const OutputPlan& plan)
    : OutputStatement(buffer, name, layout) {
    if (plan.usable) startPlan(plan);
}

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

void OutputStatement::startPlan(const OutputPlan& plan) {
    plan_ = &plan;
    planned_ = 0;
    plannedCount_ = plan.count;
    std::memcpy(stage_, plan.columns, static_cast<std::size_t>(plan.length));
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
    if (planned_ >= 0 && stagePlannedText(start, count)) return;
    items_.add({ItemKind::Text, 0, 0.0, start, count});
}

void OutputStatement::leavePlan() {
    for (std::int32_t f = 0; f < planned_; ++f) {
        const PlannedValue& value = plannedValues_[f];
        switch (plan_->fields[f].kind) {
            case DescriptorKind::IntegerField:
                items_.add({ItemKind::Integer, value.integer, 0.0, 0, 0});
                break;
            case DescriptorKind::FixedPointField:
                items_.add({ItemKind::Real, 0, value.real, 0, 0});
                break;
            default:
                items_.add({ItemKind::Text, 0, 0.0, value.textStart, value.textLength});
                break;
        }
    }
    planned_ = -1;
    plannedCount_ = 0;
}

// The planned fields take the same bytes the layout walk places for the same
// item: the plan's blanks stand for the walk's owed skips, and every field
// fills exactly its width (the plan takes no other layouts).
bool OutputStatement::stagePlannedInteger(std::int32_t value) {
    const OutputPlan& plan = *plan_;
    if (planned_ == plan.count || plan.fields[planned_].kind != DescriptorKind::IntegerField) {
        leavePlan();
        return false;
    }
    const OutputPlan::Field& field = plan.fields[planned_];
    plannedValues_[planned_++].integer = value;
    const bool negative = value < 0;
    auto magnitude = static_cast<std::uint32_t>(value);
    if (negative) magnitude = 0u - magnitude;
    // The digits of the magnitude (none for 0), zeros up to m, the sign.
    std::int32_t count = 0;
    while (count < 10 && magnitude >= kPowersOfTen[count]) ++count;
    const std::int32_t shown = count > field.digits ? count : field.digits;
    if (static_cast<std::int64_t>(negative ? 1 : 0) + shown > field.width) {
        std::memset(stage_ + field.column, '*', static_cast<std::size_t>(field.width));
        return true;
    }
    // It fits: straight into the field's blanks, from its end.
    char* out = stage_ + field.column + field.width;
    while (magnitude >= 10) {
        const std::uint32_t pair = magnitude % 100;
        magnitude /= 100;
        out -= 2;
        out[0] = kDigitPairs[2 * pair];
        out[1] = kDigitPairs[2 * pair + 1];
    }
    if (magnitude > 0) *--out = static_cast<char>('0' + magnitude);
    for (std::int32_t i = count; i < shown; ++i) *--out = '0';
    if (negative) *--out = '-';
    return true;
}

bool OutputStatement::stagePlannedReal(double value) {
    const OutputPlan& plan = *plan_;
    if (planned_ == plan.count || plan.fields[planned_].kind != DescriptorKind::FixedPointField) {
        leavePlan();
        return false;
    }
    // A value made by an operation that should have trapped is never written.
    raiseIfFloatingPointFlagged();
    const OutputPlan::Field& field = plan.fields[planned_];
    plannedValues_[planned_++].real = value;
    char* const out = stage_ + field.column;
    char tail[kFixedTailRoom];
    const std::int32_t tailLength = formatFixedTail(value, field.digits, tail + kFixedTailRoom);
    if (tailLength >= 0) {
        if (tailLength > field.width) {
            std::memset(out, '*', static_cast<std::size_t>(field.width));
        } else {
            char* const to = out + field.width;
            for (std::int32_t i = 1; i <= tailLength; ++i) to[-i] = tail[kFixedTailRoom - i];
        }
        return true;
    }
    const FormattedFixed text = formatFixed(value, field.digits);
    const std::int64_t length = text.length();
    if (length > field.width) {
        std::memset(out, '*', static_cast<std::size_t>(field.width));
        return true;
    }
    text.writeTo(out + (field.width - length));
    return true;
}

bool OutputStatement::stagePlannedText(std::uint32_t textStart, std::uint32_t length) {
    const OutputPlan& plan = *plan_;
    // A text of no characters places nothing, so its blanks would stay owed.
    if (planned_ == plan.count || plan.fields[planned_].kind != DescriptorKind::CharacterField ||
        length == 0) {
        leavePlan();
        return false;
    }
    const OutputPlan::Field& field = plan.fields[planned_];
    PlannedValue& planned = plannedValues_[planned_++];
    planned.textStart = textStart;
    planned.textLength = length;
    // A shorter text is right-justified, a longer one keeps its start.
    const std::int64_t count = length < static_cast<std::uint32_t>(field.width)
                                   ? static_cast<std::int64_t>(length)
                                   : field.width;
    std::memcpy(stage_ + field.column + (field.width - count), items_.text(textStart),
                static_cast<std::size_t>(count));
    return true;
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
    if (planned_ >= 0) {
        if (planned_ == plan_->count) {
            staged_ = plan_->length;
            endRecord();
            return;
        }
        leavePlan();  // fewer items than fields: the walk places up to the next field
    }
    for (std::size_t i = 0; i < items_.size(); ++i) placeItem(items_[i]);
    Actions actions{*this};
    cursor_.finishLayout(actions);
    endRecord();
}

void writeConsoleRecord(ConsoleUnit& console, const char* record, std::size_t length) {
    // Nothing leaves the process after an operation that should have trapped.
    raiseIfFloatingPointFlagged();
    if (length > kConsoleRecordSize) length = kConsoleRecordSize;
    char bytes[kConsoleRecordSize + 5];  // 6 bytes of line control, the record less its first
    std::size_t count = 0;
    const bool open = console.lineEndOwed;
    const char control = length > 0 ? record[0] : ' ';
    auto add = [&](std::string_view text) {
        for (const char c : text) bytes[count++] = c;
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
    for (std::size_t i = 1; i < length; ++i) bytes[count++] = record[i];
    (void)platform::systemCalls().writeStandard(platform::StandardStream::Output, bytes, count);
    console.lineEndOwed = true;
}

void writeConsoleMessage(std::string_view text) {
    OutputStatement message(consoleUnit());
    message.putText(text.data(), static_cast<std::int32_t>(text.size()));
    message.endWrite();
}

}  // namespace gscmerge::textio
