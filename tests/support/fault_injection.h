// Failures of the file system on demand, injected through the platform's
// system-call table: calls that concern a targeted file fail the way a full
// disk, a refused access or a damaged medium makes them fail; every other call
// goes on to the entries that were in the table before (the native ones, or
// those of a CapturedProcess).
//
//     TempDir dir;
//     CapturedProcess process;
//     FaultInjection faults(process.calls());
//     faults.limitWrites("N0000.g12", 0, platform::FileError::DiskFull);
//     const ProcessOutcome outcome = process.run(catalogue::runBatch);
//
// Files are named as the platform sees them: the normalized name of the open.
// One injection is active at a time; it puts the previous entries back when
// it goes out of scope, so declare it after the CapturedProcess.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "textio/platform.h"

namespace gscmerge::testing {

class FaultInjection {
public:
    explicit FaultInjection(platform::SystemCalls& calls);
    ~FaultInjection();
    FaultInjection(const FaultInjection&) = delete;
    FaultInjection& operator=(const FaultInjection&) = delete;

    // Opening the existing file `name` for `access` (for any access when none
    // is given) fails with `error`. The first `spared` calls that match go
    // through unharmed, so that a fault can strike a later region.
    void refuseOpen(const std::string& name, platform::FileError error,
                    std::optional<platform::Access> access = std::nullopt, std::size_t spared = 0);
    // Creating `name` for `access` (any when none is given) fails with
    // `error`, after `spared` matching calls.
    void refuseCreate(const std::string& name, platform::FileError error,
                      std::optional<platform::Access> access = std::nullopt,
                      std::size_t spared = 0);
    // Deleting `name` fails with `error`, and the file stays; the first
    // `spared` deletions of `name` go through.
    void refuseDelete(const std::string& name, platform::FileError error, std::size_t spared = 0);
    // From now on `name` takes `room` more bytes; a write beyond them stores
    // what fits and stops short with `error` (DiskFull, AccessDenied, ...)
    // and the system's number `systemCode` (errno, say EIO; 0 for none).
    void limitWrites(const std::string& name, std::size_t room, platform::FileError error,
                     std::uint32_t systemCode = 0);
    // Closing `name` fails with `error` and `systemCode` (the handle is
    // closed all the same), as when a file system stores data only then.
    void failClose(const std::string& name, platform::FileError error, std::uint32_t systemCode);
    // Each connection to `name` reads its first `bytes` bytes; the next read
    // fails as a damaged medium does.
    void failReadsAfter(const std::string& name, std::size_t bytes);

    // From now on the log lists the identity lookups too: "identify NAME"
    // for a name, "identify open NAME" for the handle of an open file.
    void logIdentities() { logIdentities_ = true; }

    // What the program asked of the file system, one entry per call, in
    // order: "open NAME rw|r|w", "create NAME rw|r|w", "delete NAME",
    // "close NAME", and the lookups when asked for. Failed calls are listed too.
    [[nodiscard]] const std::vector<std::string>& log() const { return log_; }

private:
    struct Rule {
        std::string name;
        platform::FileError error;
        std::optional<platform::Access> access;
        std::size_t spared;
    };
    struct Limit {
        std::size_t remaining;
        platform::FileError error;
        std::uint32_t systemCode;
    };

    static platform::OpenResult openExisting(const char* name, platform::Access access);
    static platform::OpenResult createNew(const char* name, platform::Access access);
    static platform::FileError deleteFile(const char* name);
    static std::ptrdiff_t readFile(platform::FileHandle file, char* block, std::size_t count);
    static platform::WriteResult writeFile(platform::FileHandle file, const char* bytes,
                                           std::size_t count);
    static platform::CloseResult closeFile(platform::FileHandle file);
    static bool identifyName(const char* name, platform::FileIdentity* identity);
    static bool identifyHandle(platform::FileHandle file, platform::FileIdentity* identity);

    // The error of the first rule that strikes this call, or None.
    static platform::FileError strike(std::vector<Rule>& rules, const char* name,
                                      std::optional<platform::Access> access);
    platform::OpenResult open(std::vector<Rule>& rules, const char* verb, const char* name,
                              platform::Access access,
                              platform::OpenResult (*next)(const char*, platform::Access));
    [[nodiscard]] std::string nameOf(platform::FileHandle file) const;

    platform::SystemCalls& calls_;
    platform::SystemCalls previous_;
    std::vector<Rule> openRules_;
    std::vector<Rule> createRules_;
    std::vector<Rule> deleteRules_;
    std::map<std::string, Limit> writeLimits_;
    std::map<std::string, platform::CloseResult> closeFailures_;
    std::map<std::string, std::size_t> readLimits_;
    std::map<platform::FileHandle, std::string> openFiles_;
    std::map<platform::FileHandle, std::size_t> readsLeft_;
    std::vector<std::string> log_;
    bool logIdentities_ = false;
};

}  // namespace gscmerge::testing
