// Write statements: one record built from a layout and its items, placed in a
// connection's buffer (file bytes reach the file a whole buffer at a time),
// or one message line on the console.
//
//     OutputStatement write(connection, kStarLayout);
//     write.putInteger(1234);
//     ...
//     write.endWrite();                    // ends the record with CR LF
//
//     OutputStatement message(consoleUnit());
//     message.putText("Error: ...", 40);
//     message.endWrite();                  // one write to standard output
#pragma once

#include <cstdint>
#include <string_view>

#include "textio/layout.h"
#include "textio/output_buffer.h"
#include "textio/units.h"

namespace gscmerge::textio {

class OutputStatement {
public:
    // beginWrite on a connected file.
    OutputStatement(UnitConnection& connection, const RecordLayout& layout);
    // beginWrite into any buffer; `name` is what error reports show.
    OutputStatement(OutputBuffer& buffer, const char* name, const RecordLayout& layout);
    // beginWrite of a console message line (no layout).
    explicit OutputStatement(ConsoleUnit& console);

    void putInteger(std::int32_t value);
    void putReal(double value);
    // Copies `length` characters; a negative length counts as 0.
    void putText(const char* chars, std::int32_t length);
    // Finishes the layout, ends the record, and for the console writes it.
    void endWrite();

    // The walk's actions for a write (used by the layout cursor).
    struct Actions {
        OutputStatement& statement;
        void literal(const FieldDescriptor& descriptor) { statement.placeLiteral(descriptor); }
        void restart() { statement.endRecord(); }
        [[noreturn]] void fault(int number);
    };

private:
    static constexpr int kConsoleRecord = 132;
    static constexpr int kConsoleRoom = 80;  // the line-control blank and 79 characters

    const FieldDescriptor& nextField();
    void placeChar(char c);
    void placeLiteral(const FieldDescriptor& descriptor);
    void endRecord();
    void writeConsoleRecord();
    template <class Text>
    void placeNumeric(const Text& text, std::int32_t width);

    OutputBuffer* buffer_ = nullptr;
    const char* name_ = "CON";
    ConsoleUnit* console_ = nullptr;
    LayoutCursor cursor_;
    std::int32_t consoleLength_ = 0;
    char consoleRecord_[kConsoleRecord];
};

}  // namespace gscmerge::textio

namespace gscmerge::textio {

// One console message line: `text` after the line-control blank, written to
// standard output at once with its line end owed.
void writeConsoleMessage(std::string_view text);

}  // namespace gscmerge::textio
