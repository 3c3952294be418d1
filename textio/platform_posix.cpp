// The platform layer on POSIX systems: open/read/write/close/unlink/fstat for
// files, the standard descriptors 0, 1 and 2, and SIGFPE for the
// floating-point traps.

// The 64-bit file interfaces on 32-bit systems too: otherwise open and fstat
// fail there with EOVERFLOW for files beyond 2 GiB or file numbers beyond 32
// bits, and the identity that tells two names of one file apart is lost.
#define _FILE_OFFSET_BITS 64

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "textio/platform.h"

static_assert(sizeof(off_t) == 8 && sizeof(ino_t) == 8, "the 64-bit file interfaces");

namespace gscmerge::platform {

// The single place where the system's error numbers become the program's
// classes of failure.
FileError classifySystemError(std::uint32_t code) {
    switch (static_cast<int>(code)) {
        case ENOENT:
        case ENOTDIR:
            return FileError::NotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case ETXTBSY:  // a program being run locks its file against writing
        case EISDIR:   // a directory cannot be opened for writing like a file
            return FileError::AccessDenied;
        case EEXIST:
            return FileError::Exists;
        case EINVAL:
        case ENAMETOOLONG:
            return FileError::InvalidName;
        case EMFILE:
        case ENFILE:
            return FileError::TooManyOpen;
        case ENOSPC:
            return FileError::DiskFull;
        case EDQUOT:
            return FileError::QuotaExceeded;
        case EFBIG:  // beyond RLIMIT_FSIZE, once SIGXFSZ is ignored
            return FileError::FileTooLarge;
        default:  // EIO, ESTALE, EPIPE, ...
            return FileError::Other;
    }
}

const char* describeSystemError(std::uint32_t code) {
    // The program never sets a locale, so these are the C locale's words.
    return std::strerror(static_cast<int>(code));
}

namespace {

std::uint32_t lastErrorCode() {
    return static_cast<std::uint32_t>(errno);
}

FileError classify(int error) {
    return classifySystemError(static_cast<std::uint32_t>(error));
}

int openFlags(Access access) {
    switch (access) {
        case Access::ReadWrite:
            return O_RDWR;
        case Access::ReadOnly:
            return O_RDONLY;
        case Access::WriteOnly:
            return O_WRONLY;
    }
    return O_RDONLY;
}

FileIdentity identityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

OpenResult openWith(const char* name, int flags) {
    for (;;) {
        const int fd = ::open(name, flags | O_CLOEXEC, 0666);
        if (fd >= 0) return {fd, FileError::None};
        if (errno != EINTR) return {-1, classify(errno)};
    }
}

OpenResult posixOpenExisting(const char* name, Access access) {
    if (name[0] == '\0') return {-1, FileError::InvalidName};
    OpenResult opened = openWith(name, openFlags(access));
    if (opened.error != FileError::None) return opened;
    // A directory opens read-only here, but it is no file to read records
    // from: refuse it as access denied, the way the other platform does. The
    // same call tells the file's identity, which the caller then need not ask.
    struct stat info {};
    if (::fstat(static_cast<int>(opened.handle), &info) != 0) return opened;
    if (S_ISDIR(info.st_mode)) {
        ::close(static_cast<int>(opened.handle));
        return {-1, FileError::AccessDenied};
    }
    opened.identity = identityOf(info);
    opened.identityKnown = true;
    return opened;
}

OpenResult posixCreateNew(const char* name, Access access) {
    if (name[0] == '\0') return {-1, FileError::InvalidName};
    return openWith(name, openFlags(access) | O_CREAT | O_EXCL);
}

FileError posixDeleteFile(const char* name) {
    return ::unlink(name) == 0 ? FileError::None : classify(errno);
}

std::ptrdiff_t posixReadFile(FileHandle file, char* block, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(static_cast<int>(file), block, count);
        if (got >= 0) return got;
        if (errno != EINTR) return -1;
    }
}

WriteResult writeAll(int fd, const char* bytes, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t put = ::write(fd, bytes + done, count - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else if (put < 0) {
            return {done, classify(errno), lastErrorCode()};
        } else {
            return {done, FileError::Other};
        }
    }
    return {done, FileError::None};
}

WriteResult posixWriteFile(FileHandle file, const char* bytes, std::size_t count) {
    return writeAll(static_cast<int>(file), bytes, count);
}

// Don't retry close on EINTR: the descriptor is gone either way. Any other
// failure (a network file system storing the data only now, say) is told.
CloseResult posixCloseFile(FileHandle file) {
    if (::close(static_cast<int>(file)) == 0 || errno == EINTR) return {FileError::None};
    return {classify(errno), lastErrorCode()};
}

bool posixIdentifyName(const char* name, FileIdentity* identity) {
    struct stat info {};
    if (name[0] == '\0' || ::stat(name, &info) != 0) return false;
    *identity = identityOf(info);
    return true;
}

bool posixIdentifyHandle(FileHandle file, FileIdentity* identity) {
    struct stat info {};
    if (::fstat(static_cast<int>(file), &info) != 0) return false;
    *identity = identityOf(info);
    return true;
}

int descriptorOf(StandardStream stream) {
    switch (stream) {
        case StandardStream::Input:
            return STDIN_FILENO;
        case StandardStream::Output:
            return STDOUT_FILENO;
        case StandardStream::Error:
            return STDERR_FILENO;
    }
    return STDERR_FILENO;
}

bool posixIsTerminal(StandardStream stream) {
    return ::isatty(descriptorOf(stream)) == 1;
}

WriteResult posixWriteStandard(StandardStream stream, const char* bytes, std::size_t count) {
    return writeAll(descriptorOf(stream), bytes, count);
}

void posixExitProcess(int status) {
    std::_Exit(status);
}

// By default a write to a pipe whose reader has gone raises SIGPIPE, and one
// beyond RLIMIT_FSIZE raises SIGXFSZ: either kills the process before its
// units are closed. Ignored, they are failed writes with EPIPE and EFBIG.
void posixPrepareProcess() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
    ::sigaction(SIGXFSZ, &ignore, nullptr);
}

// The test-only switch that leaves the traps masked.
bool trapsMaskedForTests() {
    const char* mode = std::getenv("GSCMERGE_TEST_TRAPS");
    return mode != nullptr && std::strcmp(mode, "masked") == 0;
}

TrapHandler installedTrapHandler = nullptr;

// Sorts the hardware's report of a trap into the program's trap numbers.
int trapNumberOf(int code) {
    switch (code) {
        case FPE_FLTINV:
            return 6101;
        case FPE_FLTDIV:
        case FPE_INTDIV:
            return 6103;
        case FPE_FLTOVF:
        case FPE_INTOVF:
            return 6104;
        case FPE_FLTUND:
            return 6105;
        case FPE_FLTRES:
            return 6106;
        default:
            return 6101;
    }
}

void onFloatingPointSignal(int, siginfo_t* info, void*) {
    // The trap is synchronous: it arrives in the thread whose arithmetic
    // failed, so the handler may run the program's ordinary error exit.
    installedTrapHandler(trapNumberOf(info->si_code));
}

const int kTrappedExceptions = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

void posixEnableFloatingPointTraps(TrapHandler handler) {
    installedTrapHandler = handler;
    std::fesetround(FE_TONEAREST);
    std::feclearexcept(FE_ALL_EXCEPT);
    struct sigaction action {};
    action.sa_sigaction = onFloatingPointSignal;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGFPE, &action, nullptr);
#if defined(__GLIBC__)
    if (!trapsMaskedForTests()) ::feenableexcept(kTrappedExceptions);
#endif
}

void posixDisableFloatingPointTraps() {
#if defined(__GLIBC__)
    ::fedisableexcept(FE_ALL_EXCEPT);
#endif
    std::feclearexcept(FE_ALL_EXCEPT);
}

constexpr SystemCalls kPosixSystemCalls{
    posixOpenExisting,
    posixCreateNew,
    posixDeleteFile,
    posixReadFile,
    posixWriteFile,
    posixCloseFile,
    posixIdentifyName,
    posixIdentifyHandle,
    posixIsTerminal,
    posixWriteStandard,
    posixExitProcess,
    posixPrepareProcess,
    posixEnableFloatingPointTraps,
    posixDisableFloatingPointTraps,
};

SystemCalls liveSystemCalls = kPosixSystemCalls;

}  // namespace

SystemCalls& systemCalls() {
    return liveSystemCalls;
}
const SystemCalls& nativeSystemCalls() {
    return kPosixSystemCalls;
}

}  // namespace gscmerge::platform
