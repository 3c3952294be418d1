// Numbered units and the files they are connected to.
//
// `openUnit(3, "N0000.raw    ", "OLD")` connects unit 3 to the existing file
// N0000.raw (trailing blanks of a name mean nothing); `closeUnit(3, "keep")`
// writes any waiting output and disconnects it. Every failure is a run-time
// error report that ends the process; these functions return only on success.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "textio/input_buffer.h"
#include "textio/output_buffer.h"
#include "textio/platform.h"

namespace gscmerge::textio {

enum class UnitAction : std::uint8_t { ReadWrite, ReadOnly, WriteOnly };

// Whether a connection's file identity has been learnt. An open that tells
// it on the way fills it in; otherwise it is asked of the handle when an open
// first compares against the connection, which most connections never see.
enum class IdentityState : std::uint8_t { NotAsked, Known, Unknown };

struct UnitConnection {
    static constexpr std::size_t kMaxFileName = 259;
    static constexpr std::uint32_t kBufferSize = 1024;
    // Room in front of the input block for the start of a record that
    // crosses the block's end, so that it can be read as one run of bytes.
    static constexpr std::uint32_t kCarrySize = 128;

    std::int32_t unit = 0;
    char fileName[kMaxFileName + 1] = {};  // normalized, NUL-terminated; error reports show it
    platform::FileHandle handle = -1;
    platform::FileIdentity identity{};
    IdentityState identityState = IdentityState::NotAsked;
    UnitAction action = UnitAction::ReadWrite;  // what the open obtained; read-only refuses output
    bool outputWaiting = false;  // the buffer holds output not yet written to the file
    // Output has been handed to the system and no failure to store it has
    // been reported yet (a failed close then reports it).
    bool outputUnreported = false;
    InputBuffer input;
    OutputBuffer output;
    char buffer[kCarrySize + kBufferSize] = {};  // input: carry room, then the block
};

inline constexpr int kUserUnitSlots = 61;

// Connects `unit` to the file `fileName` (a blank-padded value) with status
// "OLD" or "REPLACE" (any letter case, trailing blanks allowed).
void openUnit(std::int32_t unit, std::string_view fileName, std::string_view status);

// Disconnects `unit` with status "KEEP" or "DELETE"; an empty status means the
// default, KEEP. Waiting output is written first unless the file is deleted.
// Closing a unit that is not connected does nothing.
void closeUnit(std::int32_t unit, std::string_view status = {});

// The connection of `unit`, or nullptr.
[[nodiscard]] UnitConnection* findUnit(std::int32_t unit);

// Reads up to `count` bytes at the file's position: the number read, 0 at the
// end of the file, -1 when the system fails.
[[nodiscard]] std::ptrdiff_t readBytes(UnitConnection& connection, char* block, std::size_t count);

// Writes bytes at the file's position; the result says how many were written
// and why a shortfall happened.
[[nodiscard]] platform::WriteResult writeBytes(UnitConnection& connection, const char* bytes,
                                               std::size_t count);

// Closes every connected unit in slot order with its default status (the
// normal end).
void closeAllUnits();

// Drops every connection without writing (harness reset only).
void forgetAllUnits();

// Keyword matching of status values: `value` matches `keyword` (upper case)
// when its first characters equal the keyword's, lower-case letters counting
// as upper case, and every remaining character is a blank.
[[nodiscard]] bool matchesKeyword(std::string_view value, std::string_view keyword);

// The first 259 characters of `value` without leading and trailing blanks.
[[nodiscard]] std::string_view normalizeFileName(std::string_view value);

}  // namespace gscmerge::textio
