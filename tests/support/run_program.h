// Starts a program in a directory and collects what it writes and how it
// ends, for byte-exact tests of the whole process.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace gscmerge::testing {

struct ProgramRun {
    std::string out;
    std::string err;
    int status = -1;  // exit status; 128 + signal number when killed
    long peakKiB = 0;  // the child's peak resident set
};

[[nodiscard]] ProgramRun runProgram(const std::filesystem::path& executable,
                                    const std::filesystem::path& directory);

// The same, with command-line arguments (for test programs that choose what
// to do by them).
[[nodiscard]] ProgramRun runProgram(const std::filesystem::path& executable,
                                    const std::filesystem::path& directory,
                                    const std::vector<std::string>& arguments);

}  // namespace gscmerge::testing
