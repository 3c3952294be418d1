#include "tests/support/fault_injection.h"

#include <algorithm>
#include <cassert>

namespace gscmerge::testing {
namespace {

using platform::Access;
using platform::FileError;
using platform::FileHandle;

FaultInjection* active = nullptr;

const char* accessText(Access access) {
    switch (access) {
        case Access::ReadWrite:
            return "rw";
        case Access::ReadOnly:
            return "r";
        case Access::WriteOnly:
            return "w";
    }
    return "?";
}

}  // namespace

FaultInjection::FaultInjection(platform::SystemCalls& calls) : calls_(calls), previous_(calls) {
    assert(active == nullptr && "one fault injection at a time");
    active = this;
    calls_.openExisting = openExisting;
    calls_.createNew = createNew;
    calls_.deleteFile = deleteFile;
    calls_.readFile = readFile;
    calls_.writeFile = writeFile;
    calls_.closeFile = closeFile;
    calls_.identifyName = identifyName;
    calls_.identifyHandle = identifyHandle;
}

FaultInjection::~FaultInjection() {
    calls_.openExisting = previous_.openExisting;
    calls_.createNew = previous_.createNew;
    calls_.deleteFile = previous_.deleteFile;
    calls_.readFile = previous_.readFile;
    calls_.writeFile = previous_.writeFile;
    calls_.closeFile = previous_.closeFile;
    calls_.identifyName = previous_.identifyName;
    calls_.identifyHandle = previous_.identifyHandle;
    active = nullptr;
}

void FaultInjection::refuseOpen(const std::string& name, FileError error,
                                std::optional<Access> access, std::size_t spared) {
    openRules_.push_back({name, error, access, spared});
}

void FaultInjection::refuseCreate(const std::string& name, FileError error,
                                  std::optional<Access> access, std::size_t spared) {
    createRules_.push_back({name, error, access, spared});
}

void FaultInjection::refuseDelete(const std::string& name, FileError error, std::size_t spared) {
    deleteRules_.push_back({name, error, std::nullopt, spared});
}

void FaultInjection::limitWrites(const std::string& name, std::size_t room, FileError error,
                                 std::uint32_t systemCode) {
    writeLimits_[name] = {room, error, systemCode};
}

void FaultInjection::failClose(const std::string& name, FileError error, std::uint32_t systemCode) {
    closeFailures_[name] = {error, systemCode};
}

void FaultInjection::failReadsAfter(const std::string& name, std::size_t bytes) {
    readLimits_[name] = bytes;
}

FileError FaultInjection::strike(std::vector<Rule>& rules, const char* name,
                                 std::optional<Access> access) {
    for (Rule& rule : rules) {
        if (rule.name != name || (rule.access && access && *rule.access != *access)) continue;
        if (rule.spared > 0) {
            --rule.spared;
            continue;
        }
        return rule.error;
    }
    return FileError::None;
}

platform::OpenResult FaultInjection::open(std::vector<Rule>& rules, const char* verb,
                                          const char* name, Access access,
                                          platform::OpenResult (*next)(const char*, Access)) {
    log_.push_back(std::string(verb) + " " + name + " " + accessText(access));
    if (const FileError error = strike(rules, name, access); error != FileError::None) {
        return {-1, error};
    }
    const platform::OpenResult result = next(name, access);
    if (result.error == FileError::None) {
        openFiles_[result.handle] = name;
        if (const auto limit = readLimits_.find(name); limit != readLimits_.end()) {
            readsLeft_[result.handle] = limit->second;
        }
    }
    return result;
}

std::string FaultInjection::nameOf(FileHandle file) const {
    const auto found = openFiles_.find(file);
    return found == openFiles_.end() ? std::string() : found->second;
}

platform::OpenResult FaultInjection::openExisting(const char* name, Access access) {
    return active->open(active->openRules_, "open", name, access, active->previous_.openExisting);
}

platform::OpenResult FaultInjection::createNew(const char* name, Access access) {
    return active->open(active->createRules_, "create", name, access, active->previous_.createNew);
}

FileError FaultInjection::deleteFile(const char* name) {
    active->log_.push_back(std::string("delete ") + name);
    if (const FileError error = strike(active->deleteRules_, name, std::nullopt);
        error != FileError::None) {
        return error;
    }
    return active->previous_.deleteFile(name);
}

std::ptrdiff_t FaultInjection::readFile(FileHandle file, char* block, std::size_t count) {
    const auto left = active->readsLeft_.find(file);
    if (left == active->readsLeft_.end()) return active->previous_.readFile(file, block, count);
    if (left->second == 0) return -1;
    const std::ptrdiff_t got =
        active->previous_.readFile(file, block, std::min(count, left->second));
    if (got > 0) left->second -= static_cast<std::size_t>(got);
    return got;
}

platform::WriteResult FaultInjection::writeFile(FileHandle file, const char* bytes,
                                                std::size_t count) {
    const auto limit = active->writeLimits_.find(active->nameOf(file));
    if (limit == active->writeLimits_.end()) return active->previous_.writeFile(file, bytes, count);
    Limit& room = limit->second;
    const std::size_t fits = std::min(count, room.remaining);
    platform::WriteResult result{0, FileError::None};
    if (fits > 0) result = active->previous_.writeFile(file, bytes, fits);
    room.remaining -= result.written;
    if (result.error == FileError::None && fits < count) {
        result.error = room.error;
        result.systemCode = room.systemCode;
    }
    return result;
}

platform::CloseResult FaultInjection::closeFile(FileHandle file) {
    const std::string name = active->nameOf(file);
    active->log_.push_back("close " + name);
    active->openFiles_.erase(file);
    active->readsLeft_.erase(file);
    const platform::CloseResult closed = active->previous_.closeFile(file);
    if (const auto failure = active->closeFailures_.find(name);
        failure != active->closeFailures_.end()) {
        return failure->second;
    }
    return closed;
}

bool FaultInjection::identifyName(const char* name, platform::FileIdentity* identity) {
    if (active->logIdentities_) active->log_.push_back(std::string("identify ") + name);
    return active->previous_.identifyName(name, identity);
}

bool FaultInjection::identifyHandle(FileHandle file, platform::FileIdentity* identity) {
    if (active->logIdentities_) active->log_.push_back("identify open " + active->nameOf(file));
    return active->previous_.identifyHandle(file, identity);
}

}  // namespace gscmerge::testing
