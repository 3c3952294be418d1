// The console: the console unit "CON" on standard output, its line control,
// and the line end it owes. Message lines of the conversion reach it as
// write statements (output.h); the stop and the normal end end its open line.
//
//     writeConsoleRecord(consoleUnit(), " Error: ...", 11);  // "Error: ..." with no line end
//     endConsoleLine();                                      // CR LF, the line end owed
#pragma once

#include <cstddef>

namespace gscmerge::textio {

// The console holds records of up to 132 bytes.
inline constexpr std::size_t kConsoleRecordSize = 132;

// The console output unit "CON": standard output, whether a terminal or not.
struct ConsoleUnit {
    // A console record has been written and its line end is still owed.
    bool lineEndOwed = false;
};

[[nodiscard]] ConsoleUnit& consoleUnit();

// Creates the console unit with no line open (start-up). One console unit or
// two makes no difference to what this program writes.
void createConsoleUnits();

// Writes one console record to standard output in one write. Its first
// character is line control and is not written; it selects what goes first:
//     blank (or any other)   nothing, or CR LF when a console line is open
//     '0'                    CR LF, or CR LF CR LF when a line is open
//     '+'                    CR
//     '1'                    CR LF FF CR blank CR
// The rest follows (at most kConsoleRecordSize bytes of the record count);
// the line end is left owed (`lineEndOwed`).
void writeConsoleRecord(ConsoleUnit& console, const char* record, std::size_t length);

// Writes the line end the console owes, CR LF, if it owes one; the flag
// stays set (the stop and the normal end each end an open line).
void endConsoleLine();

}  // namespace gscmerge::textio
