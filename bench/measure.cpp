// measure: runs one program and reports what it cost.
//
//   measure OUTFILE PROGRAM [ARGS...]
//
// Runs PROGRAM with the current directory and standard streams, waits for it
// with wait4, and writes one line to OUTFILE:
//
//   <wall seconds> <user+sys CPU seconds> <peak RSS KiB> <exit status>
//       <user CPU seconds> <sys CPU seconds>
//
// (one line; the first four fields come first so that older readers of the
// line still find them).
//
// The exit status is the program's, or 128 + signal number; measure exits with
// it too. 127 means PROGRAM could not be started, 125 a usage or OUTFILE error.

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

double seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: measure OUTFILE PROGRAM [ARGS...]\n");
        return 125;
    }
    // Opened before the run so that a bad OUTFILE costs no run.
    std::FILE* out = std::fopen(argv[1], "we");
    if (out == nullptr) {
        std::fprintf(stderr, "measure: %s: %s\n", argv[1], std::strerror(errno));
        return 125;
    }

    double start = now();
    pid_t child = fork();
    if (child < 0) {
        std::fprintf(stderr, "measure: fork: %s\n", std::strerror(errno));
        return 125;
    }
    if (child == 0) {
        execvp(argv[2], argv + 2);
        std::fprintf(stderr, "measure: %s: %s\n", argv[2], std::strerror(errno));
        _exit(127);
    }

    int status = 0;
    rusage usage{};
    while (wait4(child, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            std::fprintf(stderr, "measure: wait4: %s\n", std::strerror(errno));
            return 125;
        }
    }
    double wall = now() - start;
    int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const double user = seconds(usage.ru_utime);
    const double sys = seconds(usage.ru_stime);
    std::fprintf(out, "%.6f %.6f %ld %d %.6f %.6f\n", wall, user + sys, usage.ru_maxrss, exitStatus,
                 user, sys);
    if (std::fclose(out) != 0) return 125;
    return exitStatus;
}
