// Write statements: one record built from a layout and its items, placed in a
// connection's buffer (file bytes reach the file a whole buffer at a time),
// or one message line on the console.
//
//     OutputStatement write(connection, kStarLayout);
//     write.putInteger(1234);              // items are only copied (or staged) here
//     ...
//     write.endWrite();                    // builds the record, ends it with CR LF
//
//     OutputStatement message(consoleUnit());
//     message.putText("Error: ...", 40);
//     message.endWrite();                  // one write to standard output
//
// Nothing of a record reaches the file's buffer before `endWrite`: a
// statement abandoned on the way (the process ends between two puts) leaves
// no trace in the file. A statement with a plan (see OutputPlan) places each
// item in the record it stages as the item is put, and only falls back to
// copying items when they stop matching the plan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "textio/layout.h"
#include "textio/output_buffer.h"
#include "textio/units.h"

namespace gscmerge::textio {

// The console holds records of up to 132 bytes.
inline constexpr std::size_t kConsoleRecordSize = 132;

// A layout flattened for one pass of its fields: the record's literal and
// skip columns as they will stand, and each field's columns in item order.
// `usable` only when every field always places exactly its width (I with
// w >= 1 and m >= 1, F with w >= 1, A with w >= 1: a number too wide gives
// asterisks, a shorter one leading blanks), so that every skip before the
// last placed character is placed as blanks and every column is known in
// advance; then a statement whose items match the fields one for one is
// placed straight from the plan.
struct OutputPlan {
    static constexpr int kCapacity = 128;
    static constexpr int kFieldCapacity = 32;
    struct Field {
        DescriptorKind kind = DescriptorKind::IntegerField;
        std::int32_t column = 0;
        std::int32_t width = 0;
        std::int32_t digits = 0;
        // The column of the last character of an I field with m = 1, where
        // a single digit 0 to 9 stands alone; -1 for any other field.
        std::int32_t digitColumn = -1;
    };
    char columns[kCapacity] = {};  // literals and blanks
    std::int32_t length = 0;       // the record's length (owed blanks at its end dropped)
    Field fields[kFieldCapacity] = {};
    std::int32_t count = 0;
    bool usable = false;
};

[[nodiscard]] constexpr OutputPlan planOutput(const RecordLayout& layout) {
    OutputPlan plan;
    std::int32_t column = 0;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& descriptor = layout.descriptors[i];
        switch (descriptor.kind) {
            case DescriptorKind::Skip:
                if (descriptor.width < 0 || descriptor.width > OutputPlan::kCapacity - column) {
                    return OutputPlan{};
                }
                for (std::int32_t c = 0; c < descriptor.width; ++c) plan.columns[column++] = ' ';
                break;
            case DescriptorKind::Literal:
                for (std::int32_t c = 0; c < descriptor.textLength; ++c) {
                    if (column == OutputPlan::kCapacity) return OutputPlan{};
                    plan.columns[column++] = descriptor.text[c];
                    // A doubled delimiter stands for one.
                    if (descriptor.text[c] == descriptor.delimiter) ++c;
                    plan.length = column;
                }
                break;
            case DescriptorKind::IntegerField:
            case DescriptorKind::FixedPointField:
            case DescriptorKind::CharacterField:
                if (descriptor.repeat < 1 || descriptor.width < 1) return OutputPlan{};
                if (descriptor.kind == DescriptorKind::IntegerField && descriptor.digits < 1) {
                    return OutputPlan{};
                }
                for (std::int32_t r = 0; r < descriptor.repeat; ++r) {
                    if (plan.count == OutputPlan::kFieldCapacity ||
                        descriptor.width > OutputPlan::kCapacity - column) {
                        return OutputPlan{};
                    }
                    const bool singleDigit =
                        descriptor.kind == DescriptorKind::IntegerField && descriptor.digits == 1;
                    plan.fields[plan.count++] = {descriptor.kind, column, descriptor.width,
                                                 descriptor.digits,
                                                 singleDigit ? column + descriptor.width - 1 : -1};
                    for (std::int32_t c = 0; c < descriptor.width; ++c)
                        plan.columns[column++] = ' ';
                    plan.length = column;
                }
                break;
            case DescriptorKind::LayoutEnd:
                plan.usable = plan.count > 0;
                return plan;
            case DescriptorKind::Fault:
                return OutputPlan{};
        }
    }
    return OutputPlan{};
}

class OutputStatement {
public:
    // beginWrite on a connected file.
    OutputStatement(UnitConnection& connection, const RecordLayout& layout);
    // The same, placed straight by `plan` (planOutput(layout), kept with the
    // layout) whenever the items match its fields.
    OutputStatement(UnitConnection& connection, const RecordLayout& layout, const OutputPlan& plan);
    OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout,
                    const OutputPlan& plan);
    // beginWrite into any buffer; `name` is what error reports show.
    OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout);
    // beginWrite of a console message line (no layout).
    explicit OutputStatement(ConsoleUnit& console);

    OutputStatement(const OutputStatement&) = delete;
    OutputStatement& operator=(const OutputStatement&) = delete;

    void putInteger(std::int32_t value) {
        // One digit under the default minimum, the common case of digit
        // fields, is placed here; stagePlannedInteger does the rest. The
        // unsigned comparison also rules out planned_ == -1.
        if (static_cast<std::uint32_t>(planned_) < static_cast<std::uint32_t>(plannedCount_)) {
            const std::int32_t column = plan_->fields[planned_].digitColumn;
            if (column >= 0 && static_cast<std::uint32_t>(value) <= 9) {
                plannedValues_[planned_++].integer = value;
                stage_[column] = static_cast<char>('0' + value);
                return;
            }
        }
        if (planned_ >= 0 && stagePlannedInteger(value)) return;
        addInteger(value);
    }
    void putReal(double value) {
        if (planned_ >= 0 && stagePlannedReal(value)) return;
        addReal(value);
    }
    // Copies `length` characters; a negative length counts as 0.
    void putText(const char* chars, std::int32_t length);
    // Executes the statement: places every item by the layout, finishes the
    // layout and ends the record; for the console, writes the record.
    void endWrite();

    // The walk's actions for a write (used by the layout cursor).
    struct Actions {
        OutputStatement& statement;
        void literal(const FieldDescriptor& descriptor) { statement.placeLiteral(descriptor); }
        void restart() { statement.endRecord(); }
        [[noreturn]] void fault(int number);
    };

private:
    static constexpr int kConsoleRoom = 80;  // the line-control blank and 79 characters

    enum class ItemKind : std::uint8_t { Integer, Real, Text };
    struct Item {
        ItemKind kind;
        std::int32_t integer;
        double real;
        std::uint32_t textStart;  // into the statement's text copies
        std::uint32_t textLength;
    };

    // The items of a statement in order. The program's statements (at most
    // 18 items, at most 45 characters) stay in the inline room; a longer one
    // moves to the heap.
    class ItemList {
    public:
        void add(const Item& item) {
            if (count_ < kInlineItems && spilled_.empty()) {
                inline_[count_++] = item;
                return;
            }
            addSpilled(item);
        }
        void addSpilled(const Item& item);
        // Copies the characters and returns where they start.
        std::uint32_t addText(const char* chars, std::uint32_t length);
        [[nodiscard]] std::size_t size() const { return count_; }
        [[nodiscard]] const Item& operator[](std::size_t i) const {
            return spilled_.empty() ? inline_[i] : spilled_[i];
        }
        [[nodiscard]] const char* text(std::uint32_t start) const {
            return (spilledText_.empty() ? inlineText_ : spilledText_.data()) + start;
        }

    private:
        static constexpr std::size_t kInlineItems = 24;
        static constexpr std::size_t kInlineText = 128;
        // Only the first count_ items and textLength_ characters are ever
        // read, so the inline room is left uninitialised.
        Item inline_[kInlineItems];
        std::vector<Item> spilled_;
        std::size_t count_ = 0;
        char inlineText_[kInlineText];
        std::vector<char> spilledText_;
        std::size_t textLength_ = 0;
    };

    // Each places the item in its field of the staged record when it is the
    // item the plan expects next; false, having left the plan, otherwise.
    bool stagePlannedInteger(std::int32_t value);
    bool stagePlannedReal(double value);
    bool stagePlannedText(std::uint32_t textStart, std::uint32_t length);
    // Hands the items placed so far to the item list, for the layout walk.
    void leavePlan();
    void startPlan(const OutputPlan& plan);
    void addInteger(std::int32_t value);
    void addReal(double value);
    const FieldDescriptor& nextField();
    void placeChar(char c) {
        if (console_ != nullptr) return placeConsoleChar(c);
        if (cursor_.pendingSkip > 0) {
            stageBlanks(cursor_.pendingSkip);
            cursor_.pendingSkip = 0;
        }
        stage(c);
    }
    void placeChars(const char* chars, std::int64_t count);
    void placeConsoleChar(char c);
    void placeLiteral(const FieldDescriptor& descriptor);
    void placeItem(const Item& item);
    void placeMessageText(const Item& item);
    void endRecord();
    void flushConsoleRecord();
    void stage(char c) {
        if (staged_ == kStageSize) spillStaged();
        stage_[staged_++] = c;
    }
    void stageBlanks(std::int64_t count);
    void spillStaged();
    [[noreturn]] void raiseWrite(int number);
    template <class Text>
    void placeNumeric(const Text& text, std::int32_t width);

    const OutputPlan* plan_ = nullptr;
    // Items placed by the plan so far; -1 when the statement has no plan or
    // has left it. The staged record holds the plan's columns and these
    // items' texts, with `staged_` still 0, so a walk after leaving the plan
    // builds the record afresh.
    std::int32_t planned_ = -1;
    std::int32_t plannedCount_ = 0;  // the plan's field count while planned_ >= 0
    // The values of the planned items, as put (only the member of the
    // field's kind is set).
    struct PlannedValue {
        double real;
        std::int32_t integer;
        std::uint32_t textStart;
        std::uint32_t textLength;
    };
    PlannedValue plannedValues_[OutputPlan::kFieldCapacity];
    OutputBuffer* buffer_ = nullptr;
    const char* name_ = "CON";
    ConsoleUnit* console_ = nullptr;
    LayoutCursor cursor_;
    ItemList items_;
    std::int32_t consoleLength_ = 0;
    char consoleRecord_[kConsoleRecordSize];
    // A file record is built here and handed to the buffer in one piece at
    // its end (or before a failure is reported, so that what was placed
    // stays placed); a record longer than the stage goes on in pieces.
    static constexpr int kStageSize = 256;
    static_assert(OutputPlan::kCapacity + 2 <= kStageSize, "a planned record and its CR LF");
    std::int32_t staged_ = 0;
    char stage_[kStageSize];
};

// One console message line: `text` after the line-control blank, written to
// standard output at once with its line end owed.
void writeConsoleMessage(std::string_view text);

// Writes one console record to standard output in one write. Its first
// character is line control and is not written; it selects what goes first:
//     blank (or any other)   nothing, or CR LF when a console line is open
//     '0'                    CR LF, or CR LF CR LF when a line is open
//     '+'                    CR
//     '1'                    CR LF FF CR blank CR
// The rest follows (at most kConsoleRecordSize bytes of the record count);
// the line end is left owed (`lineEndOwed`).
void writeConsoleRecord(ConsoleUnit& console, const char* record, std::size_t length);

}  // namespace gscmerge::textio
