// Read statements: one record of a connection (or of text in memory) read
// through a layout into integer, real and character items.
//
//     InputStatement read(connection.input, kCountLayout);   // "(64X,I4)"
//     std::int32_t count;
//     read.getInteger(count);
//     read.endRead();                                         // takes the rest of the line
//
// Every failure (a bad field, the end of the file, a layout fault) is a READ
// run-time error naming the buffer's file; these calls return only on success.
#pragma once

#include <cstdint>

#include "textio/input_buffer.h"
#include "textio/layout.h"

namespace gscmerge::textio {

class InputStatement {
public:
    // beginRead: nothing is read until the first item. The statement keeps
    // a reference to `layout`, which must outlive it (a temporary may not).
    InputStatement(InputBuffer& buffer, const RecordLayout& layout)
        : buffer_(buffer), cursor_(layout) {}
    InputStatement(InputBuffer& buffer, const RecordLayout&& layout) = delete;

    void getInteger(std::int32_t& item);
    void getReal(double& item);
    // A character item of `length` characters (1 or more), blank-padded.
    void getText(char* item, std::int32_t length);
    // Finishes the walk and takes the rest of the record through its line feed.
    void endRead();

    // The walk's actions for a read (used by the layout cursor).
    struct Actions {
        InputBuffer& buffer;
        [[noreturn]] void literal(const FieldDescriptor&);
        void restart() { buffer.endRecord(); }
        [[noreturn]] void fault(int number);
    };

private:
    const FieldDescriptor& nextField();
    void passPendingSkip();

    InputBuffer& buffer_;
    LayoutCursor cursor_;
};

}  // namespace gscmerge::textio
