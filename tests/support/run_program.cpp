#include "tests/support/run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/temp_dir.h"

namespace gscmerge::testing {
namespace {

// The emulator's command and its arguments, ahead of the program's path.
#if defined(GSCMERGE_TEST_EMULATOR)
const char* const kEmulator[] = {GSCMERGE_TEST_EMULATOR};
constexpr bool kEmulated = true;
#else
constexpr bool kEmulated = false;
#endif

}  // namespace

bool programsRunUnderEmulator() {
    return kEmulated;
}

ProgramRun runProgram(const std::filesystem::path& executable,
                      const std::filesystem::path& directory) {
    return runProgram(executable, directory, {});
}

ProgramRun runProgram(const std::filesystem::path& executable,
                      const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments) {
    RunEnvironment environment;
    environment.arguments = arguments;
    return runProgramWith(executable, directory, environment);
}

ProgramRun runProgramWith(const std::filesystem::path& executable,
                          const std::filesystem::path& directory,
                          const RunEnvironment& environment) {
    const std::vector<std::string>& arguments = environment.arguments;
    // Standard output and error go to files, so that nothing can block.
    char pattern[] = "/tmp/gscmerge-run-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    const std::filesystem::path captures = pattern;
    const std::string outPath = (captures / "out").string();
    const std::string errPath = (captures / "err").string();
    const std::string program = executable.string();
    const std::string where = directory.string();
    std::vector<char*> argv;
#if defined(GSCMERGE_TEST_EMULATOR)
    for (const char* word : kEmulator) argv.push_back(const_cast<char*>(word));
#endif
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    // A pipe whose reading end is closed before the child starts: every
    // write to it fails (or raises SIGPIPE).
    int closedPipe[2] = {-1, -1};
    if ((environment.outputClosed || environment.errorClosed) && ::pipe(closedPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    if (closedPipe[0] >= 0) ::close(closedPipe[0]);

    const pid_t child = ::fork();
    if (child == 0) {
        const int out = environment.outputClosed
                            ? closedPipe[1]
                            : ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = environment.errorClosed
                            ? closedPipe[1]
                            : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || in < 0 || ::chdir(where.c_str()) != 0) ::_exit(126);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        for (const std::string& variable : environment.variables) {
            ::putenv(const_cast<char*>(variable.c_str()));
        }
        if (environment.fileSizeLimit >= 0) {
            const auto limit = static_cast<rlim_t>(environment.fileSizeLimit);
            const struct rlimit size { limit, limit };
            if (::setrlimit(RLIMIT_FSIZE, &size) != 0) ::_exit(126);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    if (closedPipe[1] >= 0) ::close(closedPipe[1]);
    int waitStatus = 0;
    struct rusage usage {};
    ::wait4(child, &waitStatus, 0, &usage);
    ProgramRun run;
    run.peakKiB = usage.ru_maxrss;
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    if (!environment.outputClosed) run.out = readFile(outPath);
    if (!environment.errorClosed) run.err = readFile(errPath);
    std::error_code ignored;
    std::filesystem::remove_all(captures, ignored);
    return run;
}

}  // namespace gscmerge::testing
