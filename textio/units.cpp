// The unit table: 61 user slots searched linearly by unit number. Slots are
// static, so connecting a unit never allocates.
#include "textio/units.h"

#include <array>
#include <cstdio>
#include <cstring>

#include "textio/error_report.h"
#include "textio/floating_point.h"

namespace gscmerge::textio {
namespace {

using platform::Access;
using platform::FileError;
using platform::OpenResult;
using platform::systemCalls;

struct UnitTable {
    std::array<UnitConnection, kUserUnitSlots> slots;
    std::array<bool, kUserUnitSlots> used{};
};

UnitTable& table() {
    static UnitTable unitTable;
    return unitTable;
}

enum class OpenStatus : std::uint8_t { Old, Replace };
enum class CloseStatus : std::uint8_t { Keep, Delete };

std::ptrdiff_t refillFromUnit(void* source, char* block, std::size_t capacity) {
    return readBytes(*static_cast<UnitConnection*>(source), block, capacity);
}

// Every failure to store output is reported: access denied (a lock, a
// read-only connection) as 6421, everything else as 6422 in the words of its
// reason, the system's own words when the program has none of its own. A
// shortfall is never passed over: the file would be cut short behind a
// successful run.
[[noreturn]] void raiseWriteFailure(UnitConnection& connection, FileError error,
                                    std::uint32_t systemCode) {
    // Reported once: the close at the end of the process must not report
    // the same lost output again.
    connection.outputUnreported = false;
    switch (error) {
        case FileError::AccessDenied:
            raiseRuntimeError(6421, StatementKind::Write, connection.fileName);
        case FileError::DiskFull:
            raiseRuntimeError(6422, StatementKind::Write, connection.fileName);
        case FileError::QuotaExceeded:
            raiseRuntimeError(6422, StatementKind::Write, connection.fileName,
                              "disk quota exceeded");
        case FileError::FileTooLarge:
            raiseRuntimeError(6422, StatementKind::Write, connection.fileName, "file too large");
        default:
            break;
    }
    if (systemCode == 0) {
        raiseRuntimeError(6422, StatementKind::Write, connection.fileName, "write failed");
    }
    char message[160];
    (void)std::snprintf(message, sizeof message, "write failed: %s",
                        platform::describeSystemError(systemCode));
    raiseRuntimeError(6422, StatementKind::Write, connection.fileName, message);
}

void flushToUnit(void* sink, const char* bytes, std::size_t count) {
    auto& connection = *static_cast<UnitConnection*>(sink);
    // Nothing reaches a file after an operation that should have trapped.
    raiseIfFloatingPointFlagged();
    // The system would refuse it too, each system in its own way.
    if (connection.action == UnitAction::ReadOnly) {
        raiseWriteFailure(connection, FileError::AccessDenied, 0);
    }
    const platform::WriteResult result = writeBytes(connection, bytes, count);
    if (result.written == count) {
        connection.outputUnreported = true;
        return;
    }
    raiseWriteFailure(connection, result.error, result.systemCode);
}

// The report number of a failed open, by the reason of the last attempt.
int openFailureNumber(FileError error) {
    switch (error) {
        case FileError::NotFound:
            return 6416;
        case FileError::AccessDenied:
            return 6414;
        case FileError::Exists:
            return 6415;
        case FileError::InvalidName:
            return 6412;
        case FileError::TooManyOpen:
            return 6417;
        case FileError::DiskFull:
        case FileError::QuotaExceeded:
        case FileError::FileTooLarge:
        case FileError::Other:
        case FileError::None:
            break;
    }
    return 6416;
}

// Reasons outside the table share 6416 with a missing file, but say what
// actually happened.
std::string_view openFailureMessage(FileError error) {
    switch (error) {
        case FileError::DiskFull:
            return "no space left on the device";
        case FileError::QuotaExceeded:
            return "disk quota exceeded";
        case FileError::Other:
            return "file could not be opened";
        default:
            return runtimeErrorMessage(openFailureNumber(error));
    }
}

[[noreturn]] void raiseOpenFailure(const char* name, FileError error) {
    raiseRuntimeError(openFailureNumber(error), StatementKind::Open, name,
                      openFailureMessage(error));
}

// Read-write, else read-only, else write-only: the first success fixes the
// action, and the last refusal gives the reason. With `stopWhenExists` a
// creation gives up at the first attempt that finds the name taken.
OpenResult openWithFallback(const char* name, OpenStatus status, UnitAction* action,
                            bool stopWhenExists = false) {
    static constexpr std::array<std::pair<Access, UnitAction>, 3> kAttempts{{
        {Access::ReadWrite, UnitAction::ReadWrite},
        {Access::ReadOnly, UnitAction::ReadOnly},
        {Access::WriteOnly, UnitAction::WriteOnly},
    }};
    OpenResult result{-1, FileError::Other};
    for (const auto& [access, unitAction] : kAttempts) {
        result = status == OpenStatus::Old ? systemCalls().openExisting(name, access)
                                           : systemCalls().createNew(name, access);
        if (result.error == FileError::None) {
            *action = unitAction;
            return result;
        }
        if (stopWhenExists && result.error == FileError::Exists) return result;
    }
    return result;
}

// REPLACE: an old file of that name is deleted, then the new one created.
// When the name designates no file the deletion is left out, unless the
// creation finds the name taken all the same (by a dangling symbolic link,
// say, which a name lookup follows to nothing but a deletion removes): then
// the old entry is deleted and the creation starts again, as if the deletion
// had come first.
OpenResult replaceFile(const char* name, bool exists, UnitAction* action) {
    if (!exists) {
        const OpenResult created = openWithFallback(name, OpenStatus::Replace, action, true);
        if (created.error != FileError::Exists) return created;
    }
    (void)systemCalls().deleteFile(name);
    return openWithFallback(name, OpenStatus::Replace, action);
}

int findSlot(std::int32_t unit) {
    UnitTable& units = table();
    for (int i = 0; i < kUserUnitSlots; ++i) {
        if (units.used[static_cast<std::size_t>(i)] &&
            units.slots[static_cast<std::size_t>(i)].unit == unit) {
            return i;
        }
    }
    return -1;
}

int findFreeSlot() {
    UnitTable& units = table();
    for (int i = 0; i < kUserUnitSlots; ++i) {
        if (!units.used[static_cast<std::size_t>(i)]) return i;
    }
    return -1;
}

bool anyUnitConnected() {
    const UnitTable& units = table();
    for (const bool used : units.used) {
        if (used) return true;
    }
    return false;
}

// Whether the identity of a connection's file is known, asking its handle
// the first time it is needed.
bool identityKnown(UnitConnection& connection) {
    if (connection.identityState == IdentityState::NotAsked) {
        connection.identityState =
            systemCalls().identifyHandle(connection.handle, &connection.identity)
                ? IdentityState::Known
                : IdentityState::Unknown;
    }
    return connection.identityState == IdentityState::Known;
}

// Whether the file of `identity` is the file of a connected unit other than `unit`.
bool connectedElsewhere(const platform::FileIdentity& identity, std::int32_t unit) {
    UnitTable& units = table();
    for (int i = 0; i < kUserUnitSlots; ++i) {
        const auto index = static_cast<std::size_t>(i);
        UnitConnection& other = units.slots[index];
        if (units.used[index] && other.unit != unit && identityKnown(other) &&
            other.identity == identity) {
            return true;
        }
    }
    return false;
}

// Whether the name designates an existing file, and which: the open is
// refused when it is the file of a connected unit other than `unit`.
bool identifyFreeName(const char* name, std::int32_t unit, platform::FileIdentity* existing) {
    const bool exists = systemCalls().identifyName(name, existing);
    if (exists && connectedElsewhere(*existing, unit)) {
        raiseRuntimeError(6413, StatementKind::Open, name);
    }
    return exists;
}

void closeSlot(int slot, CloseStatus status) {
    UnitTable& units = table();
    UnitConnection& connection = units.slots[static_cast<std::size_t>(slot)];
    if (connection.outputWaiting && status != CloseStatus::Delete) {
        connection.outputWaiting = false;
        connection.output.flushWaiting();
    }
    const platform::CloseResult closed = systemCalls().closeFile(connection.handle);
    connection.handle = -1;
    // Free the slot before deleting: a refused deletion is reported, and the
    // end of the process must not close this handle a second time.
    units.used[static_cast<std::size_t>(slot)] = false;
    // Output that the system took but now says it could not store is lost
    // like output it refused at once; a file to be deleted loses nothing.
    if (closed.error != FileError::None && connection.outputUnreported &&
        status != CloseStatus::Delete) {
        raiseWriteFailure(connection, closed.error, closed.systemCode);
    }
    if (status == CloseStatus::Delete &&
        systemCalls().deleteFile(connection.fileName) == FileError::AccessDenied) {
        raiseRuntimeError(6404, StatementKind::Close, connection.fileName);
    }
}

IdentityState identityStateOf(const OpenResult& opened) {
    return opened.identityKnown ? IdentityState::Known : IdentityState::NotAsked;
}

void connectSlot(int slot, std::int32_t unit, const char* name, const OpenResult& opened,
                 UnitAction action, IdentityState identityState) {
    UnitTable& units = table();
    UnitConnection& connection = units.slots[static_cast<std::size_t>(slot)];
    connection.unit = unit;
    std::memcpy(connection.fileName, name, std::strlen(name) + 1);
    connection.handle = opened.handle;
    connection.identity = opened.identity;
    connection.identityState = identityState;
    connection.action = action;
    connection.outputWaiting = false;
    connection.outputUnreported = false;
    connection.input =
        InputBuffer(connection.buffer + UnitConnection::kCarrySize, UnitConnection::kBufferSize,
                    refillFromUnit, &connection, connection.fileName, UnitConnection::kCarrySize);
    connection.output =
        OutputBuffer(connection.buffer, UnitConnection::kBufferSize, flushToUnit, &connection);
    units.used[static_cast<std::size_t>(slot)] = true;
}

// "OLD" on a unit that is not connected, with `slot` free: the file is opened
// first and tells its own identity, which the name would otherwise have been
// asked for. An open that fails has changed nothing, so the checks then come
// in their usual order (a file connected to another unit before the open's
// own reason), and an open that succeeds on a file connected to another unit
// is undone before the refusal.
void openOldInSlot(int slot, std::int32_t unit, const char* name) {
    UnitAction action = UnitAction::ReadWrite;
    OpenResult opened = openWithFallback(name, OpenStatus::Old, &action);
    if (opened.error != FileError::None) {
        platform::FileIdentity existing{};
        (void)identifyFreeName(name, unit, &existing);
        raiseOpenFailure(name, opened.error);
    }
    IdentityState identityState = identityStateOf(opened);
    // With no other unit connected there is nothing to compare against.
    if (anyUnitConnected()) {
        if (identityState == IdentityState::NotAsked) {
            identityState = systemCalls().identifyHandle(opened.handle, &opened.identity)
                                ? IdentityState::Known
                                : IdentityState::Unknown;
        }
        // Should the handle not tell, the name is asked, as for any other open.
        platform::FileIdentity identity = opened.identity;
        const bool known =
            identityState == IdentityState::Known || systemCalls().identifyName(name, &identity);
        if (known && connectedElsewhere(identity, unit)) {
            (void)systemCalls().closeFile(opened.handle);
            raiseRuntimeError(6413, StatementKind::Open, name);
        }
    }
    connectSlot(slot, unit, name, opened, action, identityState);
}

// "REPLACE" on a unit that is not connected, with `slot` free: the creation
// is tried first. When it succeeds, the name designated no file, so there was
// nothing to delete and nothing connected elsewhere to refuse, and the name
// need not have been looked up. Any failure has changed nothing, and the
// caller then goes the usual way (lookup, deletion, creation), which gives
// the reasons in their usual order.
bool createFreshInSlot(int slot, std::int32_t unit, const char* name) {
    UnitAction action = UnitAction::ReadWrite;
    const OpenResult created = openWithFallback(name, OpenStatus::Replace, &action, true);
    if (created.error != FileError::None) return false;
    connectSlot(slot, unit, name, created, action, identityStateOf(created));
    return true;
}

}  // namespace

bool matchesKeyword(std::string_view value, std::string_view keyword) {
    if (value.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        char c = value[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != keyword[i]) return false;
    }
    for (std::size_t i = keyword.size(); i < value.size(); ++i) {
        if (value[i] != ' ') return false;
    }
    return true;
}

std::string_view normalizeFileName(std::string_view value) {
    value = value.substr(0, UnitConnection::kMaxFileName);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return value;
}

void openUnit(std::int32_t unit, std::string_view fileName, std::string_view status) {
    char name[UnitConnection::kMaxFileName + 1];
    const std::string_view normalized = normalizeFileName(fileName);
    std::memcpy(name, normalized.data(), normalized.size());
    name[normalized.size()] = '\0';

    OpenStatus openStatus;
    if (matchesKeyword(status, "OLD")) {
        openStatus = OpenStatus::Old;
    } else if (matchesKeyword(status, "REPLACE")) {
        openStatus = OpenStatus::Replace;
    } else {
        raiseRuntimeError(6412, StatementKind::Open, name, "status not recognised");
    }
    if (normalized.empty()) raiseRuntimeError(6412, StatementKind::Open, name);
    // The system takes a name only up to a NUL byte: such a name would reach
    // (and, for REPLACE, destroy) a different file than the one asked for.
    if (normalized.find('\0') != std::string_view::npos) {
        raiseRuntimeError(6412, StatementKind::Open, name);
    }

    UnitTable& units = table();
    const int current = findSlot(unit);
    if (current < 0) {
        const int slot = findFreeSlot();
        if (slot >= 0 && openStatus == OpenStatus::Old) {
            openOldInSlot(slot, unit, name);
            return;
        }
        if (slot >= 0 && createFreshInSlot(slot, unit, name)) return;
    }

    platform::FileIdentity existing{};
    const bool exists = identifyFreeName(name, unit, &existing);
    if (current >= 0) {
        UnitConnection& connected = units.slots[static_cast<std::size_t>(current)];
        if (exists && identityKnown(connected) && connected.identity == existing) return;
        closeSlot(current, CloseStatus::Keep);
    }

    // Checked before the file system is touched, so that a refused open never
    // replaces a file.
    const int slot = findFreeSlot();
    if (slot < 0) raiseRuntimeError(6418, StatementKind::Open, name);

    UnitAction action = UnitAction::ReadWrite;
    const OpenResult opened = openStatus == OpenStatus::Replace
                                  ? replaceFile(name, exists, &action)
                                  : openWithFallback(name, openStatus, &action);
    if (opened.error != FileError::None) raiseOpenFailure(name, opened.error);
    connectSlot(slot, unit, name, opened, action, identityStateOf(opened));
}

void closeUnit(std::int32_t unit, std::string_view status) {
    const int slot = findSlot(unit);
    if (slot < 0) return;
    CloseStatus closeStatus = CloseStatus::Keep;
    if (status.empty() || matchesKeyword(status, "KEEP")) {
        closeStatus = CloseStatus::Keep;
    } else if (matchesKeyword(status, "DELETE")) {
        closeStatus = CloseStatus::Delete;
    } else {
        raiseRuntimeError(6412, StatementKind::Close,
                          table().slots[static_cast<std::size_t>(slot)].fileName,
                          "status not recognised");
    }
    closeSlot(slot, closeStatus);
}

UnitConnection* findUnit(std::int32_t unit) {
    const int slot = findSlot(unit);
    return slot < 0 ? nullptr : &table().slots[static_cast<std::size_t>(slot)];
}

std::ptrdiff_t readBytes(UnitConnection& connection, char* block, std::size_t count) {
    return systemCalls().readFile(connection.handle, block, count);
}

platform::WriteResult writeBytes(UnitConnection& connection, const char* bytes, std::size_t count) {
    return systemCalls().writeFile(connection.handle, bytes, count);
}

void closeAllUnits() {
    for (int i = 0; i < kUserUnitSlots; ++i) {
        if (table().used[static_cast<std::size_t>(i)]) closeSlot(i, CloseStatus::Keep);
    }
}

void forgetAllUnits() {
    UnitTable& units = table();
    for (int i = 0; i < kUserUnitSlots; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (units.used[index]) (void)systemCalls().closeFile(units.slots[index].handle);
        units.used[index] = false;
    }
}

}  // namespace gscmerge::textio
