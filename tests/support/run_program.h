// Starts a program in a directory and collects what it writes and how it
// ends, for byte-exact tests of the whole process. In a build whose programs
// run under an emulator (the 32-bit build under qemu-i386), the program is
// started through that emulator.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace gscmerge::testing {

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;   // exit status; 128 + signal number when killed
    long peakKiB = 0;  // the child's peak resident set (the emulator's, under one)
};

// True when programs are started through an emulator, whose own memory and
// time then count with the program's.
[[nodiscard]] bool programsRunUnderEmulator();

[[nodiscard]] ProgramRun runProgram(const std::filesystem::path& executable,
                                    const std::filesystem::path& directory);

// The same, with command-line arguments (for test programs that choose what
// to do by them).
[[nodiscard]] ProgramRun runProgram(const std::filesystem::path& executable,
                                    const std::filesystem::path& directory,
                                    const std::vector<std::string>& arguments);

// An environment that misbehaves, for the child alone.
struct RunEnvironment {
    std::vector<std::string> arguments;
    std::vector<std::string> variables;  // "NAME=value", added to the child's environment
    long fileSizeLimit = -1;             // bytes a file may grow to (RLIMIT_FSIZE); -1: none
    // Standard output, or standard error, is a pipe whose reader has gone.
    bool outputClosed = false;
    bool errorClosed = false;
};

// The child starts with the default actions of SIGPIPE and SIGXFSZ, whatever
// this process does with them, so that what the program makes of a closed
// pipe or a file-size limit is its own doing.
[[nodiscard]] ProgramRun runProgramWith(const std::filesystem::path& executable,
                                        const std::filesystem::path& directory,
                                        const RunEnvironment& environment);

}  // namespace gscmerge::testing
