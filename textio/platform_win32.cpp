// The platform layer on Win32: CreateFileA, ReadFile, WriteFile, CloseHandle,
// DeleteFileA and GetFileInformationByHandle for files, the standard handles
// for the console, ExitProcess, and a vectored exception handler for the
// floating-point traps. It compiles for every Windows target: the x86
// registers are read only where they exist, elsewhere the runtime's
// _controlfp_s and _clearfp do the same work.
//
// Nothing here goes through the C runtime's stdio or low-level I/O: the
// standard handles are written with WriteFile, which never translates line
// ends, so the bytes reach the console, pipe or file exactly as given and no
// text/binary mode switching of the runtime's descriptors is needed.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <float.h>
#include <windows.h>
#if defined(__i386__) || defined(__x86_64__)
#include <xmmintrin.h>
#define GSCMERGE_X86 1
#endif

#include <cstdio>
#include <cstring>

#include "textio/platform.h"

// Not in every SDK's headers (MinGW-w64 lacks it); the value is the system's.
#ifndef ERROR_DISK_QUOTA_EXCEEDED
#define ERROR_DISK_QUOTA_EXCEEDED 1295L
#endif

namespace gscmerge::platform {

// The single place where the system's error codes become the program's
// classes of failure.
FileError classifySystemError(std::uint32_t code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return FileError::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return FileError::AccessDenied;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return FileError::Exists;
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return FileError::InvalidName;
        case ERROR_TOO_MANY_OPEN_FILES:
            return FileError::TooManyOpen;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return FileError::DiskFull;
        case ERROR_DISK_QUOTA_EXCEEDED:
        case ERROR_NOT_ENOUGH_QUOTA:
            return FileError::QuotaExceeded;
        case ERROR_FILE_TOO_LARGE:
            return FileError::FileTooLarge;
        default:  // ERROR_NETNAME_DELETED, ERROR_UNEXP_NET_ERR, ERROR_CRC, ERROR_NO_DATA, ...
            return FileError::Other;
    }
}

const char* describeSystemError(std::uint32_t code) {
    // One report at a time, so one buffer does.
    static char words[256];
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                    nullptr, code, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                                    words, sizeof words, nullptr);
    if (length == 0) {
        length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, words, sizeof words, nullptr);
    }
    if (length == 0) {
        (void)std::snprintf(words, sizeof words, "system error %lu",
                            static_cast<unsigned long>(code));
        return words;
    }
    // The system's text ends in a period and CR LF; a report line holds neither.
    while (length > 0 && (words[length - 1] == '\r' || words[length - 1] == '\n' ||
                          words[length - 1] == ' ' || words[length - 1] == '.')) {
        --length;
    }
    words[length] = '\0';
    for (DWORD i = 0; i < length; ++i) {
        if (words[i] == '\r' || words[i] == '\n') words[i] = ' ';
    }
    return words;
}

namespace {

std::uint32_t lastErrorCode() {
    return static_cast<std::uint32_t>(::GetLastError());
}

FileError lastError() {
    return classifySystemError(lastErrorCode());
}

HANDLE toHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}
FileHandle fromHandle(HANDLE handle) {
    return reinterpret_cast<FileHandle>(handle);
}

DWORD desiredAccess(Access access) {
    switch (access) {
        case Access::ReadWrite:
            return GENERIC_READ | GENERIC_WRITE;
        case Access::ReadOnly:
            return GENERIC_READ;
        case Access::WriteOnly:
            return GENERIC_WRITE;
    }
    return GENERIC_READ;
}

// Other processes may read and write the file while it is connected.
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

OpenResult openWith(const char* name, DWORD access, DWORD disposition) {
    HANDLE handle = ::CreateFileA(name, access, kShareReadWrite, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {fromHandle(INVALID_HANDLE_VALUE), lastError()};
    return {fromHandle(handle), FileError::None};
}

OpenResult win32OpenExisting(const char* name, Access access) {
    if (name[0] == '\0') return {fromHandle(INVALID_HANDLE_VALUE), FileError::InvalidName};
    return openWith(name, desiredAccess(access), OPEN_EXISTING);
}

OpenResult win32CreateNew(const char* name, Access access) {
    if (name[0] == '\0') return {fromHandle(INVALID_HANDLE_VALUE), FileError::InvalidName};
    return openWith(name, desiredAccess(access), CREATE_NEW);
}

FileError win32DeleteFile(const char* name) {
    return ::DeleteFileA(name) ? FileError::None : lastError();
}

// ReadFile takes a 32-bit count; a larger request is simply satisfied in part.
DWORD clampedCount(std::size_t count) {
    constexpr std::size_t kLargest = 0x40000000;
    return static_cast<DWORD>(count < kLargest ? count : kLargest);
}

std::ptrdiff_t win32ReadFile(FileHandle file, char* block, std::size_t count) {
    DWORD got = 0;
    if (::ReadFile(toHandle(file), block, clampedCount(count), &got, nullptr)) {
        return static_cast<std::ptrdiff_t>(got);
    }
    // A pipe whose writer has gone is the end of its data, as on other systems.
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    return -1;
}

WriteResult writeAll(HANDLE handle, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        DWORD put = 0;
        if (!::WriteFile(handle, bytes + done, clampedCount(count - done), &put, nullptr)) {
            const std::uint32_t code = lastErrorCode();
            return {done, classifySystemError(code), code};
        }
        if (put == 0) return {done, FileError::Other};
        done += put;
    }
    return {done, FileError::None};
}

WriteResult win32WriteFile(FileHandle file, const char* bytes, std::size_t count) {
    return writeAll(toHandle(file), bytes, count);
}

bool isStandardHandle(HANDLE handle) {
    return handle == ::GetStdHandle(STD_INPUT_HANDLE) ||
           handle == ::GetStdHandle(STD_OUTPUT_HANDLE) ||
           handle == ::GetStdHandle(STD_ERROR_HANDLE);
}

CloseResult win32CloseFile(FileHandle file) {
    HANDLE handle = toHandle(file);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || isStandardHandle(handle)) {
        return {FileError::None};
    }
    if (::CloseHandle(handle)) return {FileError::None};
    const std::uint32_t code = lastErrorCode();
    return {classifySystemError(code), code};
}

bool identityOf(HANDLE handle, FileIdentity* identity) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
    return true;
}

// Opening with no access at all asks for nothing the file's owner could
// refuse and shares everything, so it disturbs no other opener.
bool win32IdentifyName(const char* name, FileIdentity* identity) {
    if (name[0] == '\0') return false;
    HANDLE handle = ::CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const bool known = identityOf(handle, identity);
    ::CloseHandle(handle);
    return known;
}

bool win32IdentifyHandle(FileHandle file, FileIdentity* identity) {
    return identityOf(toHandle(file), identity);
}

HANDLE standardHandle(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return ::GetStdHandle(STD_INPUT_HANDLE);
        case StandardStream::Output:
            return ::GetStdHandle(STD_OUTPUT_HANDLE);
        case StandardStream::Error:
            return ::GetStdHandle(STD_ERROR_HANDLE);
    }
    return ::GetStdHandle(STD_ERROR_HANDLE);
}

bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

bool win32IsTerminal(StandardStream stream) {
    HANDLE handle = standardHandle(stream);
    return usable(handle) && ::GetFileType(handle) == FILE_TYPE_CHAR;
}

// A process started without a console or with a closed stream has no
// standard handle; its output is lost, as a write to a closed descriptor is.
WriteResult win32WriteStandard(StandardStream stream, const char* bytes, std::size_t count) {
    HANDLE handle = standardHandle(stream);
    if (!usable(handle)) return {0, FileError::Other};
    return writeAll(handle, bytes, count);
}

void win32ExitProcess(int status) {
    ::ExitProcess(static_cast<UINT>(status));
}

// A write to a pipe whose reader has gone already fails here
// (ERROR_NO_DATA), and there is no signal for a file-size limit.
void win32PrepareProcess() {}

// The test-only switch that leaves the traps masked.
bool trapsMaskedForTests() {
    char mode[8] = {};
    const DWORD length = ::GetEnvironmentVariableA("GSCMERGE_TEST_TRAPS", mode, sizeof mode);
    return length == 6 && std::strcmp(mode, "masked") == 0;
}

// --- Floating point -------------------------------------------------------
//
// On x86-64 and 32-bit x86 the program's arithmetic is SSE2 (the build asks
// for it), so the MXCSR register decides rounding and traps. On 32-bit x86
// the x87 unit still carries values across calls; it is set to the same
// 53-bit precision, rounding and traps so it can neither widen nor hide a
// result. Other processors are set through the runtime's _controlfp_s.

#if defined(GSCMERGE_X86)
// MXCSR layout: six sticky flags in bits 0-5 (invalid, denormal, divide by
// zero, overflow, underflow, inexact), denormals-are-zero in bit 6, the six
// masks in bits 7-12 in the same order, rounding in bits 13-14, flush-to-zero
// in bit 15.
constexpr unsigned kMxcsrFlags = 0x003F;
constexpr unsigned kMxcsrDenormalsAreZero = 0x0040;
constexpr unsigned kMxcsrMasks = 0x1F80;
constexpr unsigned kMxcsrMaskShift = 7;
constexpr unsigned kMxcsrRounding = 0x6000;
constexpr unsigned kMxcsrFlushToZero = 0x8000;
constexpr unsigned kFlagInvalid = 0x01;
constexpr unsigned kFlagDenormal = 0x02;
constexpr unsigned kFlagDivideByZero = 0x04;
constexpr unsigned kFlagOverflow = 0x08;
constexpr unsigned kFlagUnderflow = 0x10;
constexpr unsigned kFlagInexact = 0x20;
constexpr unsigned kTrappedFlags = kFlagInvalid | kFlagDivideByZero | kFlagOverflow;

// Round to nearest (rounding bits zero), no flushing, flags clear, every
// exception masked except the trapped ones.
constexpr unsigned kTrappingMxcsr = kMxcsrMasks & ~(kTrappedFlags << kMxcsrMaskShift);
constexpr unsigned kQuietMxcsr = kMxcsrMasks;

void setMxcsrControl(unsigned control) {
    const unsigned keep =
        ~(kMxcsrFlags | kMxcsrDenormalsAreZero | kMxcsrMasks | kMxcsrRounding | kMxcsrFlushToZero);
    _mm_setcsr((_mm_getcsr() & keep) | control);
}

void clearMxcsrFlags() {
    _mm_setcsr(_mm_getcsr() & ~kMxcsrFlags);
}

// The Windows exception codes raised for SSE exceptions when the system does
// not sort them into one of the single EXCEPTION_FLT_* codes.
constexpr DWORD kFloatMultipleFaults = 0xC00002B4;
constexpr DWORD kFloatMultipleTraps = 0xC00002B5;
// The x87 status word's C1 bit tells a register-stack overflow from an underflow.
constexpr unsigned kX87ConditionC1 = 0x0200;

unsigned faultingMxcsr(const CONTEXT& context) {
#if defined(__x86_64__)
    return context.MxCsr;
#else
    // The extended registers are the FXSAVE image, whose MXCSR is at byte 24.
    if ((context.ContextFlags & CONTEXT_EXTENDED_REGISTERS) == CONTEXT_EXTENDED_REGISTERS) {
        DWORD mxcsr = 0;
        std::memcpy(&mxcsr, context.ExtendedRegisters + 24, sizeof mxcsr);
        return mxcsr;
    }
    return _mm_getcsr();
#endif
}

unsigned x87StatusWord(const CONTEXT& context) {
#if defined(__x86_64__)
    return context.FltSave.StatusWord;
#else
    return context.FloatSave.StatusWord;
#endif
}

// The raised exception that was not masked, most serious first.
int trapNumberOfMxcsr(unsigned mxcsr) {
    const unsigned raised = mxcsr & kMxcsrFlags & ~((mxcsr & kMxcsrMasks) >> kMxcsrMaskShift);
    if ((raised & kFlagInvalid) != 0) return 6101;
    if ((raised & kFlagDivideByZero) != 0) return 6103;
    if ((raised & kFlagOverflow) != 0) return 6104;
    if ((raised & kFlagUnderflow) != 0) return 6105;
    if ((raised & kFlagInexact) != 0) return 6106;
    if ((raised & kFlagDenormal) != 0) return 6102;
    return 6101;
}

// The codes that only the x86 units raise.
int x86TrapNumberOf(const EXCEPTION_POINTERS& exception) {
    const DWORD code = exception.ExceptionRecord->ExceptionCode;
    if (code == EXCEPTION_FLT_STACK_CHECK) {
        return (x87StatusWord(*exception.ContextRecord) & kX87ConditionC1) != 0 ? 6110 : 6111;
    }
    if (code == kFloatMultipleFaults || code == kFloatMultipleTraps) {
        return trapNumberOfMxcsr(faultingMxcsr(*exception.ContextRecord));
    }
    return 0;
}
#endif

#if defined(__i386__)
// x87 exceptions left masked while the traps are on: denormal, underflow, inexact.
constexpr unsigned kX87QuietMasks = _EM_DENORMAL | _EM_UNDERFLOW | _EM_INEXACT;

void setX87Control(unsigned masks) {
    unsigned int current = 0;
    // A pending unmasked x87 exception would fire at the next x87
    // instruction, so the status is cleared before the masks change.
    _clearfp();
    (void)_controlfp_s(&current, _PC_53 | _RC_NEAR | masks, _MCW_PC | _MCW_RC | _MCW_EM);
}
#endif

#if !defined(GSCMERGE_X86)
// Every exception masked but the trapped ones, rounding to nearest; the
// pending flags are cleared first so that unmasking raises nothing.
constexpr unsigned kQuietMasks = _EM_DENORMAL | _EM_UNDERFLOW | _EM_INEXACT;

void setControl(unsigned masks) {
    unsigned int current = 0;
    _clearfp();
    (void)_controlfp_s(&current, _RC_NEAR | masks, _MCW_RC | _MCW_EM);
}
#endif

void clearPendingExceptions() {
#if defined(GSCMERGE_X86)
#if defined(__i386__)
    _clearfp();
#endif
    clearMxcsrFlags();
#else
    _clearfp();
#endif
}

// Sorts the system's report of an exception into the program's trap
// numbers; 0 for exceptions that are not arithmetic traps.
int trapNumberOf(const EXCEPTION_POINTERS& exception) {
    switch (exception.ExceptionRecord->ExceptionCode) {
        case EXCEPTION_FLT_INVALID_OPERATION:
            return 6101;
        case EXCEPTION_FLT_DENORMAL_OPERAND:
            return 6102;
        case EXCEPTION_FLT_DIVIDE_BY_ZERO:
        case EXCEPTION_INT_DIVIDE_BY_ZERO:
            return 6103;
        case EXCEPTION_FLT_OVERFLOW:
        case EXCEPTION_INT_OVERFLOW:
            return 6104;
        case EXCEPTION_FLT_UNDERFLOW:
            return 6105;
        case EXCEPTION_FLT_INEXACT_RESULT:
            return 6106;
        default:
            break;
    }
#if defined(GSCMERGE_X86)
    return x86TrapNumberOf(exception);
#else
    return exception.ExceptionRecord->ExceptionCode == EXCEPTION_FLT_STACK_CHECK ? 6110 : 0;
#endif
}

TrapHandler installedTrapHandler = nullptr;

LONG CALLBACK onException(EXCEPTION_POINTERS* exception) {
    if (installedTrapHandler == nullptr) return EXCEPTION_CONTINUE_SEARCH;
    const int number = trapNumberOf(*exception);
    if (number == 0) return EXCEPTION_CONTINUE_SEARCH;
    // The trap is synchronous: this runs in the thread whose arithmetic
    // failed, so the handler may run the program's ordinary error exit. The
    // flags that caused it are cleared first so the exit's own arithmetic
    // starts clean.
    clearPendingExceptions();
    installedTrapHandler(number);
    return EXCEPTION_CONTINUE_SEARCH;
}

void win32DisableFloatingPointTraps() {
#if defined(GSCMERGE_X86)
#if defined(__i386__)
    setX87Control(_MCW_EM);
#endif
    setMxcsrControl(kQuietMxcsr);
#else
    setControl(_MCW_EM);
#endif
}

void win32EnableFloatingPointTraps(TrapHandler handler) {
    installedTrapHandler = handler;
    // First in line, ahead of any frame-based handler, so that no handler
    // of the runtime turns a trap into something else.
    static const PVOID registration = ::AddVectoredExceptionHandler(1, onException);
    (void)registration;
    // Masked for a test: the environment is set all the same, flags clear.
    if (trapsMaskedForTests()) {
        win32DisableFloatingPointTraps();
        return;
    }
#if defined(GSCMERGE_X86)
#if defined(__i386__)
    setX87Control(kX87QuietMasks);
#endif
    setMxcsrControl(kTrappingMxcsr);
#else
    setControl(kQuietMasks);
#endif
}

constexpr SystemCalls kWin32SystemCalls{
    win32OpenExisting,
    win32CreateNew,
    win32DeleteFile,
    win32ReadFile,
    win32WriteFile,
    win32CloseFile,
    win32IdentifyName,
    win32IdentifyHandle,
    win32IsTerminal,
    win32WriteStandard,
    win32ExitProcess,
    win32PrepareProcess,
    win32EnableFloatingPointTraps,
    win32DisableFloatingPointTraps,
};

SystemCalls liveSystemCalls = kWin32SystemCalls;

}  // namespace

SystemCalls& systemCalls() {
    return liveSystemCalls;
}
const SystemCalls& nativeSystemCalls() {
    return kWin32SystemCalls;
}

}  // namespace gscmerge::platform
