// The operating-system layer: everything the record layer needs from the
// system, and nothing else. No system header leaks past this file; exactly one
// implementation file (platform_posix.cpp or platform_win32.cpp) is compiled in.
//
// Every call goes through one table of function pointers, `systemCalls()`, so
// that tests and fuzz harnesses can replace single entries (a full disk, a
// refused deletion, an exit that returns control to the harness) without
// touching the code above. The entry points do whole tasks ("create a new file
// that must not exist yet"), not one-to-one wrappers of system calls; partial
// writes and interrupted calls are retried inside the layer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gscmerge::platform {

// An open file. The value is the system's own (a descriptor, or a Win32 HANDLE).
using FileHandle = std::intptr_t;

enum class Access : std::uint8_t { ReadWrite, ReadOnly, WriteOnly };

// The reasons the system gives for a failed file operation, already sorted
// into the classes the program reports differently.
enum class FileError : std::uint8_t {
    None,
    NotFound,       // the file, or a directory on its path, does not exist
    AccessDenied,   // no permission, read-only medium, or locked by another process
    Exists,         // a file had to be created but one of that name is there
    InvalidName,    // the name or a parameter was rejected
    TooManyOpen,    // the process or the system is out of file handles
    DiskFull,       // no room left on the medium
    QuotaExceeded,  // the user's (or the process's) quota is used up
    FileTooLarge,   // beyond the largest file the system, or a limit, allows
    Other,          // anything else (a failing medium, a lost network share, ...)
};

struct WriteResult {
    std::size_t written;
    FileError error;  // why `written` fell short of the count; None when it did not
    // The system's own number for the failure (errno, GetLastError()), so
    // that a report can give the system's words for it; 0 when none.
    std::uint32_t systemCode = 0;
};

// How closing a file went: a file system that stores data late may only
// report at the close that the data could not be stored.
struct CloseResult {
    FileError error;  // None when the close succeeded
    std::uint32_t systemCode = 0;
};

// Volume and file number: two names designate the same file exactly when
// their identities are equal.
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

struct OpenResult {
    FileHandle handle;
    FileError error;  // None when `handle` is usable
    // The identity of the opened file, when the open learnt it on the way
    // (at no extra cost); otherwise `identifyHandle` tells it on demand.
    FileIdentity identity{};
    bool identityKnown = false;
};

enum class StandardStream : std::uint8_t { Input, Output, Error };

// Called by the floating-point trap with the report number of the trap
// (6101 invalid, 6103 divide by zero, 6104 overflow, ...). Never returns.
using TrapHandler = void (*)(int trapNumber);

struct SystemCalls {
    // Opens an existing file, positioned at its start, for the given access.
    // Other processes may read and write it meanwhile. Where the system
    // tells the file's identity along with the open, the result carries it.
    OpenResult (*openExisting)(const char* name, Access access);
    // Creates a new file with ordinary read-write permission; fails with
    // Exists when a file of that name is present.
    OpenResult (*createNew)(const char* name, Access access);
    // Removes a file by name.
    FileError (*deleteFile)(const char* name);
    // Reads up to `count` bytes; returns the number read, 0 at the end of the
    // file, or -1 when the system reports a failure.
    std::ptrdiff_t (*readFile)(FileHandle file, char* block, std::size_t count);
    // Writes all `count` bytes unless the system stops short.
    WriteResult (*writeFile)(FileHandle file, const char* bytes, std::size_t count);
    // Closes a file handle (never a standard handle). Not retried.
    CloseResult (*closeFile)(FileHandle file);
    // The identity of the file a name designates, if it exists.
    bool (*identifyName)(const char* name, FileIdentity* identity);
    // The identity of an open file.
    bool (*identifyHandle)(FileHandle file, FileIdentity* identity);
    // Whether a standard stream is a terminal.
    bool (*isTerminal)(StandardStream stream);
    // Writes bytes to standard output or standard error exactly as given: no
    // line-end translation happens on any platform.
    WriteResult (*writeStandard)(StandardStream stream, const char* bytes, std::size_t count);
    // Ends the process with a status. A test harness may replace it with one
    // that unwinds to the harness instead; the caller never continues.
    void (*exitProcess)(int status);
    // Start-up: a write to a pipe whose reader has gone, or beyond a file-size
    // limit, fails like any other write instead of ending the process.
    void (*prepareProcess)();
    // Double precision, rounding to nearest, traps on invalid operation,
    // division by zero and overflow (the other exceptions stay masked), all
    // pending flags cleared; a trap calls `handler`. With the environment
    // variable GSCMERGE_TEST_TRAPS set to "masked" (for tests only) the traps
    // stay masked, as where the hardware does not trap; the program's
    // outcome must be the same.
    void (*enableFloatingPointTraps)(TrapHandler handler);
    // Masks every floating-point trap again (the trap handler calls it first,
    // so the end of the process runs without traps).
    void (*disableFloatingPointTraps)();
};

// The live table. Starts as the native implementation.
[[nodiscard]] SystemCalls& systemCalls();

// The native implementation of this platform, for restoring the table.
[[nodiscard]] const SystemCalls& nativeSystemCalls();

// The platform's one sorting of the system's error numbers (errno, or
// GetLastError()) into the classes above.
[[nodiscard]] FileError classifySystemError(std::uint32_t code);

// The system's own words for one of its error numbers, on one line
// ("Input/output error"); never null.
[[nodiscard]] const char* describeSystemError(std::uint32_t code);

}  // namespace gscmerge::platform
