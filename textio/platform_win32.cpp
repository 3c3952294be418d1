// The platform layer on Win32: CreateFileA, ReadFile, WriteFile, CloseHandle,
// DeleteFileA and GetFileInformationByHandle for files, the standard handles
// for the console, ExitProcess, and a vectored exception handler for the
// floating-point traps.
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
#include <xmmintrin.h>

#include <cstring>

#include "textio/platform.h"

namespace gscmerge::platform {
namespace {

// The single place where the system's error codes become the program's
// classes of failure.
FileError classify(DWORD error) {
    switch (error) {
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
        default:
            return FileError::Other;
    }
}

FileError lastError() {
    return classify(::GetLastError());
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
            return {done, lastError()};
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

void win32CloseFile(FileHandle file) {
    HANDLE handle = toHandle(file);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr || isStandardHandle(handle)) return;
    ::CloseHandle(handle);
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

// --- Floating point -------------------------------------------------------
//
// The program's arithmetic is SSE2 on both x86-64 and 32-bit x86 (the build
// asks for it), so the MXCSR register decides rounding and traps. On 32-bit
// x86 the x87 unit still carries values across calls; it is set to the same
// 53-bit precision, rounding and traps so it can neither widen nor hide a
// result.

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

void clearPendingExceptions() {
#if defined(__i386__)
    _clearfp();
#endif
    clearMxcsrFlags();
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

// Sorts the system's report of an exception into the program's trap
// numbers; 0 for exceptions that are not arithmetic traps.
int trapNumberOf(const EXCEPTION_POINTERS& exception) {
    const DWORD code = exception.ExceptionRecord->ExceptionCode;
    switch (code) {
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
        case EXCEPTION_FLT_STACK_CHECK:
            return (x87StatusWord(*exception.ContextRecord) & kX87ConditionC1) != 0 ? 6110 : 6111;
        default:
            break;
    }
    if (code == kFloatMultipleFaults || code == kFloatMultipleTraps) {
        return trapNumberOfMxcsr(faultingMxcsr(*exception.ContextRecord));
    }
    return 0;
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

void win32EnableFloatingPointTraps(TrapHandler handler) {
    installedTrapHandler = handler;
    // First in line, ahead of any frame-based handler, so that no handler
    // of the runtime turns a trap into something else.
    static const PVOID registration = ::AddVectoredExceptionHandler(1, onException);
    (void)registration;
#if defined(__i386__)
    setX87Control(kX87QuietMasks);
#endif
    setMxcsrControl(kTrappingMxcsr);
}

void win32DisableFloatingPointTraps() {
#if defined(__i386__)
    setX87Control(_MCW_EM);
#endif
    setMxcsrControl(kQuietMxcsr);
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
