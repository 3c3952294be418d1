// Record layouts: the text "(2I8,1X,F5.2)" parsed into descriptors, and the
// cursor that matches a statement's items to them.
//
// Grammar (blanks and tabs are ignored outside literals, also between the
// digits of a number; letters in either case):
//     layout     = "(" [ item { [","] item } ] ")"      text after ")" is ignored
//     item       = [r] "I" w ["." m] | [r] "F" w "." d | [r] "A" [w]
//                | [n] "X" | "'" text "'" | '"' text '"'   (doubled delimiter = one)
// A fault does not stop the parse: the descriptors before it stay usable and a
// `Fault` marker carrying the error number takes its place; the error is
// raised only when a statement's walk reaches the marker.
//
// Parsing is constexpr, so the program's own layouts are parsed once, at
// compile time:
//     static_assert(parseLayout("(64X,I4)").descriptors[1].width == 4);
//
// A layout that is a constant is compiled once, with the plans of its fast
// paths, by `compileLayout` (at the end of this file); the typed record
// statements of textio/record_statements.h take such compiled layouts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace gscmerge::textio {

enum class DescriptorKind : std::uint8_t {
    IntegerField,     // Iw or Iw.m
    FixedPointField,  // Fw.d
    CharacterField,   // A or Aw
    Skip,             // nX
    Literal,          // 'text' or "text"
    LayoutEnd,        // the closing parenthesis
    Fault,            // a fault in the text, raised when reached
};

struct FieldDescriptor {
    DescriptorKind kind = DescriptorKind::LayoutEnd;
    std::int32_t repeat = 1;  // data descriptors: how many consecutive fields
    std::int32_t width = 0;   // I, F, A: the field width (0 for A: as wide as the item); X: count
    std::int32_t digits = 1;  // I: minimum digits m (1 when not written); F: decimals d
    // Literal: the text between the delimiters as written (doubled delimiters
    // still doubled) and its delimiter. Points into the layout text.
    const char* text = nullptr;
    std::int32_t textLength = 0;
    char delimiter = '\'';
    std::int32_t errorNumber = 0;  // Fault: the run-time error number

    [[nodiscard]] constexpr bool isData() const {
        return kind == DescriptorKind::IntegerField || kind == DescriptorKind::FixedPointField ||
               kind == DescriptorKind::CharacterField;
    }
};

// An ordered list of descriptors; the last is always a `LayoutEnd` or a
// `Fault`. The capacity far exceeds any layout the program uses: 95
// descriptors and the end; a 96th descriptor becomes a Fault 6700 marker.
struct RecordLayout {
    static constexpr int kCapacity = 96;
    FieldDescriptor descriptors[kCapacity] = {};
    std::int32_t count = 0;
};

namespace detail {

struct LayoutParser {
    const char* pos;
    const char* end;
    RecordLayout layout{};

    constexpr bool atBlank() const { return *pos == ' ' || *pos == '\t'; }
    constexpr void skipBlanks() {
        while (pos != end && atBlank()) ++pos;
    }
    constexpr bool more() {
        skipBlanks();
        return pos != end;
    }
    constexpr char upper() const {
        const char c = *pos;
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    constexpr bool atDigit() const { return *pos >= '0' && *pos <= '9'; }

    // number: digits, blanks between them ignored; -1 when there is none,
    // -2 when it exceeds 2147483647.
    constexpr std::int64_t parseNumber() {
        if (!more() || !atDigit()) return -1;
        std::int64_t value = 0;
        bool tooLarge = false;
        while (more() && atDigit()) {
            value = value * 10 + (*pos - '0');
            if (value > 2147483647) {
                tooLarge = true;
                value = 2147483647;
            }
            ++pos;
        }
        return tooLarge ? -2 : value;
    }

    // One slot always stays free for the end (or a fault marker) that follows.
    constexpr bool full() const { return layout.count == RecordLayout::kCapacity - 1; }

    constexpr void add(const FieldDescriptor& descriptor) {
        layout.descriptors[layout.count++] = descriptor;
    }

    constexpr RecordLayout fault(std::int32_t number) {
        FieldDescriptor marker;
        marker.kind = DescriptorKind::Fault;
        marker.errorNumber = number;
        add(marker);
        return layout;
    }

    // 'text' or "text": ends at the next delimiter that is not doubled.
    constexpr bool parseLiteral(FieldDescriptor& literal) {
        const char delimiter = *pos++;
        const char* start = pos;
        for (;;) {
            if (pos == end) return false;
            if (*pos == delimiter) {
                if (pos + 1 != end && pos[1] == delimiter) {
                    pos += 2;
                    continue;
                }
                break;
            }
            ++pos;
        }
        literal.kind = DescriptorKind::Literal;
        literal.text = start;
        literal.textLength = static_cast<std::int32_t>(pos - start);
        literal.delimiter = delimiter;
        ++pos;
        return true;
    }

    constexpr RecordLayout parse() {
        if (!more() || *pos != '(') return fault(6981);
        ++pos;
        bool commaAllowed = false;  // a comma may follow a descriptor, once
        for (;;) {
            if (!more()) return fault(6988);
            const std::int64_t number = parseNumber();
            if (number == -2) return fault(6991);
            if (!more()) return fault(6988);
            const char c = upper();
            if (c == ')' || c == ',' || c == '\'' || c == '"') {
                if (number >= 0) return fault(6983);
                if (c == ')') {
                    add(FieldDescriptor{});
                    return layout;
                }
                if (c == ',') {
                    if (!commaAllowed) return fault(6989);
                    commaAllowed = false;
                    ++pos;
                    continue;
                }
                FieldDescriptor literal;
                if (!parseLiteral(literal)) return fault(6988);
                if (full()) return fault(6700);
                add(literal);
                commaAllowed = true;
                continue;
            }
            FieldDescriptor field;
            field.repeat = number >= 0 ? static_cast<std::int32_t>(number) : 1;
            ++pos;
            if (c == 'X') {
                field.kind = DescriptorKind::Skip;
                field.width = number >= 0 ? static_cast<std::int32_t>(number) : 1;
                field.repeat = 1;
            } else if (c == 'I' || c == 'F') {
                const std::int64_t width = parseNumber();
                if (width == -2) return fault(6991);
                if (width < 0) return fault(6980);
                field.width = static_cast<std::int32_t>(width);
                const bool hasPoint = more() && *pos == '.';
                if (c == 'F' && !hasPoint) return fault(6987);
                if (hasPoint) {
                    ++pos;
                    const std::int64_t digits = parseNumber();
                    if (digits == -2) return fault(6991);
                    if (digits < 0) return fault(6980);
                    if (c == 'I' && digits > width) return fault(6990);
                    field.digits = static_cast<std::int32_t>(digits);
                }
                field.kind =
                    c == 'I' ? DescriptorKind::IntegerField : DescriptorKind::FixedPointField;
            } else if (c == 'A') {
                const std::int64_t width = parseNumber();
                if (width == -2) return fault(6991);
                field.kind = DescriptorKind::CharacterField;
                field.width = width >= 0 ? static_cast<std::int32_t>(width) : 0;
            } else {
                return fault(6989);
            }
            if (full()) return fault(6700);
            add(field);
            commaAllowed = true;
        }
    }
};

}  // namespace detail

// Parses a layout text; never fails (faults become markers).
[[nodiscard]] constexpr RecordLayout parseLayout(std::string_view text) {
    detail::LayoutParser parser{text.data(), text.data() + text.size()};
    return parser.parse();
}

// A statement's position in its layout. The statement supplies the actions of
// the walk through `Actions`:
//     void literal(const FieldDescriptor&);  // a Literal is met
//     void restart();                         // the layout starts over: end the record
//     [[noreturn]] void fault(int number);    // a Fault marker (or a layout without
//                                             // data descriptors that is given an item)
class LayoutCursor {
public:
    explicit LayoutCursor(const RecordLayout& layout) : layout_(&layout) {}
    // The cursor points into its layout: a temporary would be gone before the walk.
    explicit LayoutCursor(const RecordLayout&& layout) = delete;

    // The data descriptor that takes the next item. Skips met on the way add
    // to `pendingSkip`; reaching the end with an item waiting starts over.
    template <class Actions>
    const FieldDescriptor& nextDataDescriptor(Actions& actions) {
        if (usesLeft_ > 0) {
            --usesLeft_;
            return layout_->descriptors[index_];
        }
        bool startedOver = false;
        for (;;) {
            ++index_;
            const FieldDescriptor& descriptor = layout_->descriptors[index_];
            switch (descriptor.kind) {
                case DescriptorKind::Skip:
                    pendingSkip += descriptor.width;
                    break;
                case DescriptorKind::Literal:
                    actions.literal(descriptor);
                    break;
                case DescriptorKind::Fault:
                    actions.fault(descriptor.errorNumber);
                    break;
                case DescriptorKind::LayoutEnd:
                    // A whole pass without a data descriptor would never end.
                    if (startedOver) actions.fault(6989);
                    startedOver = true;
                    pendingSkip = 0;
                    actions.restart();
                    index_ = -1;
                    break;
                case DescriptorKind::IntegerField:
                case DescriptorKind::FixedPointField:
                case DescriptorKind::CharacterField:
                    // A repeat count of 0 stands for no field at all.
                    if (descriptor.repeat == 0) break;
                    usesLeft_ = descriptor.repeat - 1;
                    return descriptor;
            }
        }
    }

    // After the last item: literals and skips up to the next data descriptor
    // or the end still act; the layout never starts over here.
    template <class Actions>
    void finishLayout(Actions& actions) {
        if (usesLeft_ == 0) {
            for (;;) {
                ++index_;
                const FieldDescriptor& descriptor = layout_->descriptors[index_];
                if (descriptor.kind == DescriptorKind::Skip) {
                    pendingSkip += descriptor.width;
                } else if (descriptor.kind == DescriptorKind::Literal) {
                    actions.literal(descriptor);
                } else if (descriptor.kind == DescriptorKind::Fault) {
                    actions.fault(descriptor.errorNumber);
                } else {
                    break;
                }
            }
        }
        pendingSkip = 0;
    }

    // Columns that skips asked for and no field has passed over yet.
    std::int64_t pendingSkip = 0;

private:
    const RecordLayout* layout_;
    std::int32_t index_ = -1;
    std::int32_t usesLeft_ = 0;
};

// ---------------------------------------------------------------------------
// Plans: a layout flattened for the fast paths of its record statements.

// Where one field of a fixed-column record lies.
struct FieldColumns {
    DescriptorKind kind = DescriptorKind::IntegerField;
    std::int32_t start = 0;  // column offset from the record's start
    std::int32_t width = 0;
    std::int32_t decimals = 0;  // F: d; I: the minimum digits m
};

// Reading: one field per item, in item order. `usable` only when the layout
// holds nothing but integer, fixed-point, one-character A and skip
// descriptors, and at least one field: then each field is the slice of its
// columns on every record whose columns hold no comma, tab or line end.
struct ColumnPlan {
    static constexpr int kCapacity = 32;
    FieldColumns fields[kCapacity] = {};
    std::int32_t count = 0;
    std::int32_t columns = 0;  // the columns the fields cover
    bool usable = false;
};

[[nodiscard]] constexpr ColumnPlan planColumns(const RecordLayout& layout) {
    ColumnPlan plan;
    std::int32_t column = 0;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& descriptor = layout.descriptors[i];
        switch (descriptor.kind) {
            case DescriptorKind::Skip:
                if (descriptor.width > 4096 - column) return ColumnPlan{};
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
                    if (plan.count == ColumnPlan::kCapacity || descriptor.width > 4096 - column) {
                        return ColumnPlan{};
                    }
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

// Writing: the record's literal and skip columns as they will stand, and
// each field's columns in item order. `usable` only when every field always
// places exactly its width (I with w >= 1 and m >= 1, F with w >= 1, A with
// w >= 1: a number too wide gives asterisks, a shorter one leading blanks),
// so that every skip before the last placed character is placed as blanks
// and every column is known in advance; a statement whose items match the
// fields one for one, each text holding a character, is then placed
// straight from the plan.
struct OutputPlan {
    static constexpr int kCapacity = 128;
    static constexpr int kFieldCapacity = 32;
    char columns[kCapacity] = {};  // literals and blanks
    std::int32_t length = 0;       // the record's length (owed blanks at its end dropped)
    FieldColumns fields[kFieldCapacity] = {};
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
                    plan.fields[plan.count++] = {descriptor.kind, column, descriptor.width,
                                                 descriptor.digits};
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

// ---------------------------------------------------------------------------
// Compiled layouts.

// A layout text as a template argument: the text is part of the compiled
// layout's type, so a statement over it knows every descriptor at compile
// time.
template <std::size_t N>
struct LayoutText {
    char chars[N] = {};
    // NOLINTNEXTLINE(google-explicit-constructor): written as a string literal
    consteval LayoutText(const char (&text)[N]) {
        for (std::size_t i = 0; i < N; ++i) chars[i] = text[i];
    }
    [[nodiscard]] constexpr std::string_view view() const { return {chars, N - 1}; }
};

namespace detail {

// The position of the data descriptor that the item at `index` meets (0 for
// the first item): the walk starts over at the end of the layout, so items
// beyond its fields meet them again. -1 when no data descriptor takes items.
constexpr std::int32_t descriptorOfItem(const RecordLayout& layout, std::int64_t index) {
    std::int64_t fields = 0;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        if (layout.descriptors[i].isData()) fields += layout.descriptors[i].repeat;
    }
    if (fields == 0) return -1;
    index %= fields;
    for (std::int32_t i = 0; i < layout.count; ++i) {
        const FieldDescriptor& descriptor = layout.descriptors[i];
        if (!descriptor.isData()) continue;
        if (index < descriptor.repeat) return i;
        index -= descriptor.repeat;
    }
    return -1;
}

constexpr bool holds(const RecordLayout& layout, DescriptorKind kind) {
    for (std::int32_t i = 0; i < layout.count; ++i) {
        if (layout.descriptors[i].kind == kind) return true;
    }
    return false;
}

}  // namespace detail

// One layout text parsed at compile time, with the plans of its fast paths:
//
//     constexpr auto kCountLine = compileLayout<"(64X,I4)">();
//     readRecord(input, kCountLine, count);       // textio/record_statements.h
//
// The object holds nothing: everything is in its type, so a statement over
// it can neither outlive its layout nor be given a plan that does not match.
// A fault in the text is a compile-time error.
template <LayoutText kText>
struct CompiledLayout {
    static constexpr RecordLayout layout = parseLayout(kText.view());
    static constexpr ColumnPlan columns = planColumns(layout);
    static constexpr OutputPlan record = planOutput(layout);
    static_assert(!detail::holds(layout, DescriptorKind::Fault), "the layout text has a fault");

    // The data descriptor that item `index` meets; a LayoutEnd when no data
    // descriptor takes items.
    static constexpr FieldDescriptor itemField(std::int64_t index) {
        const std::int32_t position = detail::descriptorOfItem(layout, index);
        return position >= 0 ? layout.descriptors[position] : FieldDescriptor{};
    }
    // Whether item `index` meets a data descriptor of this kind.
    static constexpr bool itemMeets(std::int64_t index, DescriptorKind kind) {
        return itemField(index).kind == kind;
    }
};

template <LayoutText kText>
[[nodiscard]] consteval CompiledLayout<kText> compileLayout() {
    return {};
}

}  // namespace gscmerge::textio
