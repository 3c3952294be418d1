// Large and strange inputs, run through the built program: each ends on its
// road with exact bytes, and the memory the program needs stays that of its
// fixed tables and 1024-byte buffers however long a line or a batch is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/case_name.h"
#include "tests/support/printable.h"
#include "tests/support/run_program.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define GSCMERGE_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GSCMERGE_SANITIZED 1
#endif
#endif

namespace gscmerge::testing {
namespace {

using namespace std::string_literals;

constexpr char kHeaderLines[] = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n";

// The header lines, one entry line per region name, and "EN".
std::string instructions(const std::vector<std::string_view>& regions) {
    std::string text = kHeaderLines;
    for (const std::string_view region : regions) {
        text += "  ";
        text += region;
        text += "\r\n";
    }
    return text + "EN\r\n";
}

// Three header lines, `count` right-justified in columns 65-68 of the fourth,
// two more header lines.
std::string rawHeader(int count) {
    char countLine[80];
    std::snprintf(countLine, sizeof countLine, "%-64s%4d\r\n", "entries:", count);
    return std::string("raw region file\r\nsecond header line\r\nthird header line\r\n") +
           countLine + "fifth header line\r\nsixth header line\r\n";
}

constexpr std::string_view kEntry = "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15";
constexpr std::string_view kStar = "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n";

const std::string kSignStop =
    "Error: Invalid char. in decl. sign field.\r\nStop - Program terminated.\r\n\r\n";

std::string readReport(std::string_view file, std::string_view number, std::string_view message) {
    return "\r\nrun-time error F" + std::string(number) + ": READ(" + std::string(file) +
           ")\r\n- " + std::string(message) + "\r\n";
}

// Appends `count` copies of `c` without holding them all in memory, so that
// this process stays small when the program is started from it.
void appendRepeated(const std::filesystem::path& path, char c, std::size_t count) {
    std::ofstream file(path, std::ios::binary | std::ios::app);
    const std::string chunk(64 * 1024, c);
    while (count > 0) {
        const std::size_t part = std::min(count, chunk.size());
        file.write(chunk.data(), static_cast<std::streamsize>(part));
        count -= part;
    }
}

void appendText(const std::filesystem::path& path, std::string_view text) {
    std::ofstream file(path, std::ios::binary | std::ios::app);
    file.write(text.data(), static_cast<std::streamsize>(text.size()));
}

struct MeasuredRun {
    ProgramRun run;
    long peakKiB = 0;  // the child's peak resident set, from wait4
};

// The resident set of this process now, in KiB.
long currentRssKiB() {
    long pages = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Runs the program in `directory` and collects its peak resident set. A
// kernel may count the pages a child shared with its parent before exec in
// that peak, so the figure means something only while this process is
// smaller than the bound it is compared with.
MeasuredRun runMeasured(const std::filesystem::path& directory) {
    MeasuredRun measured;
    measured.run = runProgram(GSCMERGE_EXE, directory);
    measured.peakKiB = measured.run.peakKiB;
    return measured;
}

// The program's peak memory: a few MiB of code and libraries, the fixed
// tables (about 100 KiB) and 1024-byte buffers. A program that held a whole
// line, or kept something per region, would pass it by far.
constexpr long kPeakBoundKiB = 8 * 1024;

void expectBoundedMemory(const MeasuredRun& measured, long parentKiB) {
#ifdef GSCMERGE_SANITIZED
    // The sanitizers' shadow memory and allocator hide the program's own peak.
    (void)measured;
    (void)parentKiB;
#else
    // An emulator's own memory would count as the program's.
    if (programsRunUnderEmulator()) return;
    ASSERT_LT(parentKiB, kPeakBoundKiB - 1024)
        << "this test process is too large to show the program's peak";
    EXPECT_LT(measured.peakKiB, kPeakBoundKiB) << "peak resident set in KiB";
#endif
}

TEST(LargeInput, TenMegabyteLinesArePassedOverInBoundedMemory) {
    TempDir dir;
    constexpr std::size_t kTenMegabytes = 10 * 1024 * 1024;
    // A header line of the instruction file, a header line of the raw file,
    // and the rest of an entry line beyond column 57: all ten megabytes long.
    appendRepeated("merlode.ins", 'h', kTenMegabytes);
    appendText("merlode.ins", "\r\n" + instructions({"BIG"}).substr(3));
    appendRepeated("BIG.raw", 'x', kTenMegabytes);
    appendText("BIG.raw", "\r\n" + rawHeader(2).substr(17) + std::string(kEntry));
    appendRepeated("BIG.raw", '9', kTenMegabytes);
    appendText("BIG.raw", "\r\n" + std::string(kEntry) + "\r\n");

    const long parentKiB = currentRssKiB();
    const MeasuredRun measured = runMeasured(dir.path());
    EXPECT_EQ(measured.run.out, "");
    EXPECT_EQ(measured.run.err, "");
    EXPECT_EQ(measured.run.status, 0);
    EXPECT_EQ(readFile("BIG.g12"), kStar);
    expectBoundedMemory(measured, parentKiB);
}

// A scratch directory in memory where the system has one: a hundred
// thousand regions mean a million creations and deletions of files, which a
// journalling disk makes slow for no gain here.
class MemoryDir {
public:
    MemoryDir() {
        for (const std::string& base :
             {std::string("/dev/shm"), std::filesystem::temp_directory_path().string()}) {
            std::string pattern = base + "/gscmerge-large-XXXXXX";
            if (::mkdtemp(pattern.data()) != nullptr) {
                path_ = pattern;
                return;
            }
        }
        throw std::runtime_error("mkdtemp failed");
    }
    ~MemoryDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    MemoryDir(const MemoryDir&) = delete;
    MemoryDir& operator=(const MemoryDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

TEST(LargeInput, HundredThousandEntriesNamingOneRegionConvertItEachTime) {
    const MemoryDir dir;
    {
        std::ofstream file(dir.path() / "merlode.ins", std::ios::binary);
        file << kHeaderLines;
        for (int i = 0; i < 100000; ++i) file << "  SMALL\r\n";
        file << "EN\r\n";
    }
    writeFile(dir.path() / "SMALL.raw", rawHeader(1) + std::string(kEntry) + "\r\n");

    const long parentKiB = currentRssKiB();
    const MeasuredRun measured = runMeasured(dir.path());
    EXPECT_EQ(measured.run.out, "");
    EXPECT_EQ(measured.run.err, "");
    EXPECT_EQ(measured.run.status, 0);
    EXPECT_EQ(readFile(dir.path() / "SMALL.g12"), kStar);
    EXPECT_FALSE(fileExists(dir.path() / "gsctmp.tmp"));
    expectBoundedMemory(measured, parentKiB);
}

// ---- Strange bytes ----------------------------------------------------------

struct StrangeCase {
    const char* name;
    std::string instructionFile;  // names the region ODD
    std::string rawFile;          // ODD.raw
    std::string out;
    std::string err;
    int status;
    const char* output;  // ODD.g12, or nullptr when none may be written
};

void PrintTo(const StrangeCase& c, std::ostream* os) {
    *os << c.name << " -> status " << c.status << ", out " << printable(c.out) << ", err "
        << printable(c.err);
}

class StrangeBytes : public ::testing::TestWithParam<StrangeCase> {};

TEST_P(StrangeBytes, EndOnTheirRoadWithExactBytes) {
    const StrangeCase& c = GetParam();
    TempDir dir;
    writeFile("merlode.ins", c.instructionFile);
    writeFile("ODD.raw", c.rawFile);
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.status, c.status);
    if (c.output == nullptr) {
        EXPECT_FALSE(fileExists("ODD.g12"));
    } else {
        EXPECT_EQ(readFile("ODD.g12"), c.output);
    }
    EXPECT_FALSE(fileExists("gsctmp.tmp"));
}

// `kEntry` with the byte at 1-based `column` replaced.
std::string entryWith(std::size_t column, char c) {
    std::string line(kEntry);
    line[column - 1] = c;
    return line;
}

const std::string kOdd = instructions({"ODD"});

INSTANTIATE_TEST_SUITE_P(
    Files, StrangeBytes,
    ::testing::Values(
        // One line without a line feed: the second header line is past the end.
        StrangeCase{"RawFileOfOnlyCarriageReturns", kOdd, std::string(100000, '\r'), "",
                    readReport("ODD.raw", "6501", "end of file"), 1, nullptr},
        StrangeCase{"InstructionFileOfOnlyCarriageReturns", std::string(100000, '\r'), "", "",
                    readReport("merlode.ins", "6501", "end of file"), 1, nullptr},
        // Lines ended by a carriage return alone are one line.
        StrangeCase{
            "RawFileWithCarriageReturnLineEnds", kOdd,
            "a\rb\rc\r" + std::string(64, ' ') + "   1\re\rf\r" + std::string(kEntry) + "\r", "",
            readReport("ODD.raw", "6501", "end of file"), 1, nullptr},
        // A carriage return inside an entry line ends its data: the fields after
        // it read as zero.
        StrangeCase{"CarriageReturnInsideAnEntryLine", kOdd,
                    rawHeader(1) + std::string(kEntry.substr(0, 40)) + "\r" +
                        std::string(kEntry.substr(40)) + "\r\n",
                    "", "", 0, "GSC 1234:  56 01 02 03.45 -04 05 06.7   .00\r\n"},
        StrangeCase{"RawFileOfOnlyNulBytes", kOdd, std::string(4096, '\0'), "",
                    readReport("ODD.raw", "6501", "end of file"), 1, nullptr},
        // NUL bytes in header lines and beyond column 57 are never read by a field.
        StrangeCase{"NulBytesWhereNoFieldReads", kOdd,
                    "\0raw\0header\r\n\0\r\n\0\0\r\n"s + std::string(64, '\0') + "   1\0\r\n"s +
                        "\0\r\n\0\r\n"s + std::string(kEntry) + "\0\0\0\r\n"s,
                    "", "", 0, "GSC 1234:  56 01 02 03.45 -04 05 06.7 12.34\r\n"},
        StrangeCase{"NulByteInTheCountField", kOdd,
                    "1\r\n2\r\n3\r\n" + std::string(64, ' ') + "  \0\x31\r\n5\r\n6\r\n"s, "",
                    readReport("ODD.raw", "6101", "invalid character in an integer field"), 1,
                    nullptr},
        StrangeCase{"NulByteInTheStarNumber", kOdd, rawHeader(1) + entryWith(12, '\0') + "\r\n", "",
                    readReport("ODD.raw", "6101", "invalid character in an integer field"), 1,
                    nullptr},
        StrangeCase{"NulByteInTheSeconds", kOdd, rawHeader(1) + entryWith(26, '\0') + "\r\n", "",
                    readReport("ODD.raw", "6103", "invalid character in a real field"), 1, nullptr},
        StrangeCase{"NulByteAsTheDeclinationSign", kOdd,
                    rawHeader(1) + entryWith(30, '\0') + "\r\n", kSignStop, "", 0, nullptr}),
    caseName<StrangeCase>);

// ---- A full region at the limits of every field -----------------------------

// Five stars of two entries each, repeated: the first entry of a star gives
// the position (its position error is not above the second's), the second
// the magnitude (its magnitude error is below the first's). Between them the
// fields hold their widest and their most negative texts, implied decimals,
// the catalogue's own bounds (23 59 59.99, -90 and +90 degrees, region 9537)
// and the identifiers at both ends of the 32-bit range.
struct LimitStar {
    std::string_view positionEntry;
    std::string_view magnitudeEntry;
    std::string_view line;
};

constexpr LimitStar kLimitStars[] = {
    {"  214747    3647 99 99 99.99 +99 99 99.9 99.9  00.00 9.99",
     "  214747    3647 12 34 56.78 +12 34 56.7 99.9  99.99 9.98",
     "GSC ****:3647 *0 40 39.99 +*0 40 39.9 99.99\r\n"},
    {" -214748   -3648 -9 -9 -9.99 --9 -9 -9.9 -9.9  00.00 9.99",
     " -214748   -3648 12 34 56.78 +12 34 56.7 99.9  -9.99 -.99",
     "GSC ****:**** 0* 0* 0**** +09 09 09.9 -9.99\r\n"},
    {"    9537    9999 23 59 59.99 -90 00 00.0  0.0  00.00 9.99",
     "    9537    9999 12 34 56.78 +12 34 56.7 99.9  00.00 0.00",
     "GSC 9537:9999 23 59 59.99 -90 00 00.0   .00\r\n"},
    {"0000000000000001 00 00 99999 +00 00 9999 9999  00000  999",
     "0000000000000001 12 34 56.78 +12 34 56.7 9999  99999 0000",
     "GSC    0:   1 00 16 39.99 +00 16 39.9 *****\r\n"},
    {"       1       1 00 00 00.00 +90 00 00.0  0.0  00.00 9.99",
     "       1       1 12 34 56.78 +12 34 56.7 99.9  12.34 0.01",
     "GSC    1:   1 00 00 00.00 +90 00 00.0 12.34\r\n"},
};

// 2000 entry lines forming 1000 stars: both tables exactly full.
std::string limitEntries() {
    std::string lines;
    for (int i = 0; i < 200; ++i) {
        for (const LimitStar& star : kLimitStars) {
            lines += star.positionEntry;
            lines += "\r\n";
            lines += star.magnitudeEntry;
            lines += "\r\n";
        }
    }
    return lines;
}

TEST(LargeInput, TwoThousandEntriesAtTheLimitsOfEveryField) {
    TempDir dir;
    writeFile("merlode.ins", instructions({"LIMITS"}));
    writeFile("LIMITS.raw", rawHeader(2000) + limitEntries());
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    std::string expected;
    for (int i = 0; i < 200; ++i) {
        for (const LimitStar& star : kLimitStars) expected += star.line;
    }
    EXPECT_EQ(readFile("LIMITS.g12"), expected);
}

TEST(LargeInput, TwoThousandAndFirstEntryStopsAndLeavesTheOldOutput) {
    TempDir dir;
    writeFile("merlode.ins", instructions({"LIMITS"}));
    // The 2001st line is read in full before the limit is checked.
    writeFile("LIMITS.raw", rawHeader(2001) + limitEntries() +
                                std::string(kLimitStars[0].positionEntry) + "\r\n");
    writeFile("LIMITS.g12", "old output\r\n");
    const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
    EXPECT_EQ(run.out,
              "Error: too many entries in raw GSC file.\r\nStop - Program terminated.\r\n\r\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile("LIMITS.g12"), "old output\r\n");
}

}  // namespace
}  // namespace gscmerge::testing
