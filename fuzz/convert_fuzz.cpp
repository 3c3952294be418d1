// The whole conversion, from the instruction file to the output files, in a
// scratch directory of its own (created once per process; every run writes
// its files, converts, and removes everything again).
//
// Input: one control byte, then the bytes of one file.
//   bit 0 clear  the bytes are a raw region file. The instruction file names
//                a fixed region PREV, then FUZZ and FUZ2, which both hold the
//                bytes: PREV.g12 must come out right whatever follows it, and
//                a run that completes must give FUZ2 the same output as FUZZ
//                (the tables are reused between regions, never cleared).
//   bit 0 set    the bytes are the instruction file; the regions PREV, SIGN
//                (a stop) and EMPTY (no entries) exist to be named.
// Besides its road, every run must leave no scratch file and no file the
// conversion had no business creating, and every output file complete.
// Every input runs twice, with the floating-point traps masked and firing,
// and both runs must leave the same bytes, files and status.
//
// The file system is confined to the scratch directory: a name with a "/" is
// treated as missing. A region name may hold any byte, "/" included, so an
// instruction line could otherwise name a file anywhere for the conversion to
// read and replace.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/batch.h"
#include "fuzz/harness.h"
#include "textio/console.h"
#include "textio/error_report.h"
#include "textio/platform.h"
#include "textio/process.h"
#include "textio/units.h"

namespace gscmerge::fuzz {
namespace {

using textio::StatementKind;

constexpr char kHeader[] = "header\nheader\nheader\nheader\nheader\nheader\nheader\n";

// Three header lines, the count in columns 65-68, two more header lines.
std::string rawHeader(int count) {
    std::string count4 = std::to_string(count);
    count4.insert(0, 4 - count4.size(), ' ');
    return "raw header 1\r\nraw header 2\r\nraw header 3\r\n" + std::string(64, ' ') + count4 +
           "\r\nraw header 5\r\nraw header 6\r\n";
}

// Two entries of one star (the second has the better position, the first the
// better magnitude error) and a second star.
const std::string kPrevRaw = rawHeader(3) +
                             "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15\r\n"
                             "    1234      56 01 02 03.46 -04 05 06.8  0.2  12.35 0.20\r\n"
                             "    1234      57 23 59 59.99 +89 59 59.9  0.5  09.87 0.05\r\n";
constexpr std::string_view kPrevOut =
    "GSC 1234:  56 01 02 03.46 -04 05 06.8 12.34\r\n"
    "GSC 1234:  57 23 59 59.99 +89 59 59.9  9.87\r\n";
const std::string kSignRaw =
    rawHeader(1) + "    1234      56 01 02 03.45  04 05 06.7  0.3  12.34 0.15\r\n";
const std::string kEmptyRaw = rawHeader(0);

constexpr const char* kEveryName[] = {
    "merlode.ins", "gsctmp.tmp", "PREV.raw", "PREV.g12", "FUZZ.raw",  "FUZZ.g12",
    "FUZ2.raw",    "FUZ2.g12",   "SIGN.raw", "SIGN.g12", "EMPTY.raw", "EMPTY.g12",
};

std::string scratchDirectory;

void removeScratchDirectory() {
    if (scratchDirectory.empty()) return;
    for (const char* name : kEveryName) (void)::unlink(name);
    (void)::chdir("/");
    (void)::rmdir(scratchDirectory.c_str());
}

bool outsideScratch(const char* name) {
    return std::strchr(name, '/') != nullptr;
}

platform::OpenResult confinedOpenExisting(const char* name, platform::Access access) {
    if (outsideScratch(name)) return {-1, platform::FileError::NotFound};
    return platform::nativeSystemCalls().openExisting(name, access);
}

platform::OpenResult confinedCreateNew(const char* name, platform::Access access) {
    if (outsideScratch(name)) return {-1, platform::FileError::NotFound};
    return platform::nativeSystemCalls().createNew(name, access);
}

platform::FileError confinedDeleteFile(const char* name) {
    if (outsideScratch(name)) return platform::FileError::NotFound;
    return platform::nativeSystemCalls().deleteFile(name);
}

bool confinedIdentifyName(const char* name, platform::FileIdentity* identity) {
    return !outsideScratch(name) && platform::nativeSystemCalls().identifyName(name, identity);
}

void enterScratchDirectory() {
    if (!scratchDirectory.empty()) return;
    platform::SystemCalls& calls = platform::systemCalls();
    calls.openExisting = confinedOpenExisting;
    calls.createNew = confinedCreateNew;
    calls.deleteFile = confinedDeleteFile;
    calls.identifyName = confinedIdentifyName;
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/gscmerge-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) {
        std::perror("gscmerge fuzz: scratch directory");
        std::abort();
    }
    scratchDirectory = pattern;
    std::atexit(removeScratchDirectory);
}

void writeWhole(const char* name, std::string_view bytes) {
    const int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        std::perror(name);
        std::abort();
    }
    ::close(fd);
}

std::optional<std::string> readWhole(const char* name) {
    const int fd = ::open(name, O_RDONLY);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    char block[4096];
    ssize_t got;
    while ((got = ::read(fd, block, sizeof block)) > 0) {
        bytes.append(block, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

// Removes every file a run may leave; anything else in the directory was
// created by the conversion without cause.
void clearScratchDirectory(const Outcome& outcome) {
    for (const char* name : kEveryName) (void)::unlink(name);
    DIR* directory = ::opendir(".");
    if (directory == nullptr) return;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::fprintf(stderr, "left in the directory: \"%s\"\n", escaped(name).c_str());
        ::closedir(directory);
        finding("the conversion created a file it had no cause to", outcome);
    }
    ::closedir(directory);
}

Outcome convert(Traps traps) {
    return runCaptured(
        [] {
            textio::createConsoleUnits();
            catalogue::runBatch();
            textio::endProcess(0);
        },
        traps);
}

// What a run leaves: its outcome and the output files, to compare the runs
// with the traps masked and firing.
struct Result {
    Outcome outcome;
    std::vector<std::optional<std::string>> files;
};

Result resultOf(const Outcome& outcome) {
    Result result{outcome, {}};
    for (const char* name : kEveryName) result.files.push_back(readWhole(name));
    return result;
}

void expectSameResults(const Result& masked, const Result& firing) {
    const bool same =
        masked.outcome.out == firing.outcome.out && masked.outcome.err == firing.outcome.err &&
        masked.outcome.ended == firing.outcome.ended &&
        masked.outcome.status == firing.outcome.status && masked.files == firing.files;
    if (!same) {
        std::fprintf(stderr, "with the traps firing: status %d, standard error \"%s\"\n",
                     firing.outcome.status, escaped(firing.outcome.err).c_str());
        finding("the traps masked and firing gave different outcomes", masked.outcome);
    }
}

enum class Road : std::uint8_t { Completed, Stopped, Reported };

Road roadOf(const Outcome& outcome) {
    if (!outcome.ended) finding("the conversion did not end", outcome);
    if (outcome.status == 0 && outcome.err.empty()) {
        if (outcome.out.empty()) return Road::Completed;
        if (isMessageAndStop(outcome.out)) return Road::Stopped;
    }
    if (outcome.status == 1 && outcome.out.empty() && parseReport(outcome.err)) {
        return Road::Reported;
    }
    finding("neither a completed run, a message and a stop, nor one run-time error report",
            outcome);
}

// Every star line is 43 columns and CR LF, with its literals, blanks and sign
// in their columns and only digits, blanks, signs, points or asterisks in its
// fields.
void checkStarLines(std::string_view lines, const Outcome& outcome) {
    if (lines.size() % 45 != 0) finding("an output file of incomplete star lines", outcome);
    for (std::size_t at = 0; at < lines.size(); at += 45) {
        const std::string_view line = lines.substr(at, 45);
        bool good = line.substr(0, 4) == "GSC " && line[8] == ':' && line.substr(43) == "\r\n" &&
                    (line[26] == '+' || line[26] == '-');
        static constexpr std::size_t kBlanks[] = {13, 16, 19, 25, 29, 32, 37};
        for (const std::size_t blank : kBlanks) good = good && line[blank] == ' ';
        for (std::size_t i = 4; i < 43; ++i) {
            const char c = line[i];
            good = good && ((c >= '0' && c <= '9') || c == ' ' || c == '-' || c == '.' ||
                            c == '*' || c == ':' || c == '+');
        }
        if (!good) {
            std::fprintf(stderr, "line: \"%s\"\n", escaped(line).c_str());
            finding("a malformed star line", outcome);
        }
    }
}

void expectPrevious(const Outcome& outcome) {
    if (readWhole("PREV.g12") != kPrevOut) {
        finding("the output of a region converted before the fuzzed one is not as written",
                outcome);
    }
}

Result convertRawFile(std::string_view raw, Traps traps) {
    writeWhole("merlode.ins", std::string(kHeader) + "  PREV\r\n  FUZZ\r\n  FUZ2\r\nEN\r\n");
    writeWhole("PREV.raw", kPrevRaw);
    writeWhole("FUZZ.raw", raw);
    writeWhole("FUZ2.raw", raw);
    const Outcome outcome = convert(traps);
    const Road road = roadOf(outcome);
    expectPrevious(outcome);
    if (readWhole("gsctmp.tmp")) finding("the scratch file was left behind", outcome);
    if (road == Road::Completed) {
        const std::optional<std::string> first = readWhole("FUZZ.g12");
        if (!first) finding("a completed conversion without its output file", outcome);
        if (readWhole("FUZ2.g12") != first) {
            std::fprintf(stderr, "FUZZ.g12: \"%s\"\nFUZ2.g12: \"%s\"\n", escaped(*first).c_str(),
                         escaped(readWhole("FUZ2.g12").value_or("(none)")).c_str());
            finding("the same raw file converted twice gave two outputs", outcome);
        }
        checkStarLines(*first, outcome);
    } else {
        if (readWhole("FUZZ.g12")) finding("a failed region still got an output file", outcome);
        if (road == Road::Reported) {
            if (parseReport(outcome.err)->kind == StatementKind::Math) {
                // A coordinate beyond the integers, or an overflow.
                static constexpr int kTraps[] = {6101, 6104};
                expectReport(outcome, StatementKind::Math, kTraps);
            } else {
                expectReport(outcome, StatementKind::Read, kFieldErrors, "FUZZ.raw");
            }
        }
    }
    Result result = resultOf(outcome);
    clearScratchDirectory(outcome);
    return result;
}

Result convertInstructions(std::string_view instructions, Traps traps) {
    writeWhole("merlode.ins", instructions);
    writeWhole("PREV.raw", kPrevRaw);
    writeWhole("SIGN.raw", kSignRaw);
    writeWhole("EMPTY.raw", kEmptyRaw);
    const Outcome outcome = convert(traps);
    const Road road = roadOf(outcome);
    if (const auto previous = readWhole("PREV.g12"); previous && *previous != kPrevOut) {
        finding("a region's output is not as written", outcome);
    }
    if (const auto empty = readWhole("EMPTY.g12"); empty && !empty->empty()) {
        finding("a region without entries got star lines", outcome);
    }
    if (readWhole("SIGN.g12")) finding("a stopped region got an output file", outcome);
    if (readWhole("gsctmp.tmp")) finding("the scratch file was left behind", outcome);
    if (road == Road::Reported) {
        const Report report = *parseReport(outcome.err);
        if (report.kind == StatementKind::Open) {
            static constexpr int kOpenErrors[] = {6412, 6416};
            expectReport(outcome, StatementKind::Open, kOpenErrors);
        } else {
            static constexpr int kEndOfFile[] = {6501};
            expectReport(outcome, StatementKind::Read, kEndOfFile, "merlode.ins");
        }
    }
    Result result = resultOf(outcome);
    clearScratchDirectory(outcome);
    return result;
}

// The runs take place in the scratch directory, so every path libFuzzer is
// given (corpus directories, input files, where failing inputs go) is made
// absolute before it changes directory.
std::vector<std::string> absoluteArguments;
std::vector<char*> argumentPointers;

void makePathsAbsolute(int* argc, char*** argv) {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return;
    const std::string here = std::string(cwd) + "/";
    bool prefixGiven = false;
    for (int i = 0; i < *argc; ++i) {
        std::string argument = (*argv)[i];
        static constexpr std::string_view kPathFlags[] = {"-artifact_prefix=",
                                                          "-exact_artifact_path="};
        if (i > 0 && !argument.empty() && argument[0] != '-' && argument[0] != '/') {
            argument.insert(0, here);
        }
        for (const std::string_view flag : kPathFlags) {
            if (argument.compare(0, flag.size(), flag) == 0) {
                prefixGiven = prefixGiven || flag == kPathFlags[0];
                if (argument.size() > flag.size() && argument[flag.size()] != '/') {
                    argument.insert(flag.size(), here);
                }
            }
        }
        absoluteArguments.push_back(argument);
    }
    if (!prefixGiven) absoluteArguments.push_back("-artifact_prefix=" + here);
    for (std::string& argument : absoluteArguments) argumentPointers.push_back(argument.data());
    argumentPointers.push_back(nullptr);
    *argc = static_cast<int>(absoluteArguments.size());
    *argv = argumentPointers.data();
}

}  // namespace
}  // namespace gscmerge::fuzz

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    gscmerge::fuzz::makePathsAbsolute(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    using namespace gscmerge::fuzz;
    if (size == 0) return 0;
    enterScratchDirectory();
    const std::string_view data(reinterpret_cast<const char*>(bytes) + 1, size - 1);
    // Each input twice: the traps masked, then firing; the same outcome.
    const auto run = (bytes[0] & 1u) == 0 ? convertRawFile : convertInstructions;
    const Result masked = run(data, Traps::Masked);
    expectSameResults(masked, run(data, Traps::Firing));
    return 0;
}
