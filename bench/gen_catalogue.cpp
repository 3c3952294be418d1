// gen_catalogue: writes a synthetic catalogue for timing the converter.
//
//   gen_catalogue [--regions N] [--entries M] [--seed S] DIR
//
// DIR receives "merlode.ins" (seven header lines, one line per region, "EN")
// and one raw region file per region, N0001.raw, N0002.raw, ..., each with six
// header lines, the entry count in columns 65-68 of line 4, and exactly M entry
// lines in fixed columns, CR LF ended. Stars have one to four consecutive
// entries, and the errors are drawn from a few values so that ties occur.
// The output depends only on the arguments: the random numbers come from our
// own splitmix64, seeded per region, so region k is the same whatever N is.
// Prints one summary line: regions, entry lines, stars (= output lines), bytes.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr int maxRegions = 9537;
constexpr int maxEntries = 2000;
constexpr int maxStars = 1000;
constexpr int maxStarSize = 4;

struct SplitMix64 {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Plain modulo: its bias is negligible here and it is the same everywhere.
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
};

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "gen_catalogue: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: gen_catalogue [--regions 1..%d] [--entries 1..%d] [--seed S] DIR\n",
                 maxRegions, maxEntries);
    std::exit(2);
}

// Right-justifies value in width columns, padded with pad ('0' or ' ').
void putInt(char* at, int width, long value, char pad) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
        if (value == 0 && pad == ' ') {
            while (--i >= 0) at[i] = ' ';
            break;
        }
    }
}

// A fixed-point field of width columns holding scaled / 10^decimals.
void putFixed(char* at, int width, int decimals, long scaled, char pad) {
    long unit = 1;
    for (int i = 0; i < decimals; ++i) unit *= 10;
    int intWidth = width - decimals - 1;
    putInt(at, intWidth, scaled / unit, pad);
    at[intWidth] = '.';
    putInt(at + intWidth + 1, decimals, scaled % unit, '0');
}

void writeFile(const std::string& path, std::string_view data) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) die(path);
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            die(path);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::close(fd) != 0) die(path);
}

std::string baseName(int region) {
    char name[8];
    name[0] = 'N';
    putInt(name + 1, 4, region, '0');
    return std::string(name, 5);
}

// Appends one entry line, columns as the converter's entry layout expects:
// (2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2).
// ra is in hundredths of a second of time, dec in tenths of an arcsecond.
void appendEntry(std::string& out, int region, int star, long ra, char sign, long dec,
                 int posErrTenths, int magHundredths, int magErrHundredths) {
    char line[59];
    std::memset(line, ' ', sizeof line);
    putInt(line + 0, 8, region, ' ');
    putInt(line + 8, 8, star, ' ');
    putInt(line + 17, 2, ra / 360000, '0');
    putInt(line + 20, 2, ra / 6000 % 60, '0');
    putFixed(line + 23, 5, 2, ra % 6000, '0');
    line[29] = sign;
    putInt(line + 30, 2, dec / 36000, '0');
    putInt(line + 33, 2, dec / 600 % 60, '0');
    putFixed(line + 36, 4, 1, dec % 600, '0');
    putFixed(line + 41, 4, 1, posErrTenths, ' ');
    putFixed(line + 47, 5, 2, magHundredths, ' ');
    putFixed(line + 53, 4, 2, magErrHundredths, ' ');
    line[57] = '\r';
    line[58] = '\n';
    out.append(line, sizeof line);
}

void appendLine(std::string& out, std::string_view text) {
    out.append(text);
    out.append("\r\n");
}

// Builds one raw region file; returns the number of stars in it.
int buildRegion(std::string& out, int region, int entries, std::uint64_t seed) {
    static constexpr int posErrors[] = {2, 3, 5};  // tenths of an arcsecond
    constexpr long raRange = 24L * 360000;         // hundredths of a second
    constexpr long decRange = 90L * 36000;         // tenths of an arcsecond, below 90 degrees

    std::uint64_t regionSalt = static_cast<std::uint64_t>(region);
    regionSalt *= 0xD1B54A32D192ED03ULL;
    SplitMix64 rng{seed ^ regionSalt};
    out.clear();
    appendLine(out, "SYNTHETIC RAW REGION FILE FOR TIMING");
    appendLine(out, "REGION " + baseName(region));
    appendLine(out, "");
    std::string countLine(68, ' ');
    countLine.replace(0, 22, "NUMBER OF ENTRY LINES:");
    putInt(countLine.data() + 64, 4, entries, ' ');
    appendLine(out, countLine);
    appendLine(out, "  REGION    STAR RA          DEC         PERR   MAG  MERR");
    appendLine(out, "");

    int starsMade = 0;
    int starNumber = 0;
    int entriesLeft = entries;
    while (entriesLeft > 0) {
        // Grow the star when the remaining star numbers could not hold the
        // remaining entries; a region never exceeds the converter's star limit.
        int starsLeft = maxStars - starsMade;
        int minSize = (entriesLeft + starsLeft - 1) / starsLeft;
        int size = 1 + rng.below(maxStarSize);
        if (size < minSize) size = minSize;
        if (size > entriesLeft) size = entriesLeft;

        starNumber += 1 + rng.below(3);
        long ra = rng.below(static_cast<int>(raRange));
        long dec = rng.below(static_cast<int>(decRange));
        char sign = rng.below(2) != 0 ? '+' : '-';
        int mag = 500 + rng.below(1170);
        for (int i = 0; i < size; ++i) {
            // Repeated observations of a star differ in their last digits only.
            // One draw per statement: the order of argument evaluation is
            // unspecified and compilers differ in it.
            long entryRa = (ra + rng.below(50)) % raRange;
            long entryDec = dec + rng.below(5);
            if (entryDec >= decRange) entryDec = decRange - 1;
            int posError = posErrors[rng.below(3)];
            int entryMag = mag + rng.below(30);
            int magError = 5 * (1 + rng.below(8));
            appendEntry(out, region, starNumber, entryRa, sign, entryDec, posError, entryMag,
                        magError);
        }
        ++starsMade;
        entriesLeft -= size;
    }
    return starsMade;
}

int parseNumber(const char* text, long low, long high) {
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) usage();
    return static_cast<int>(value);
}

}  // namespace

int main(int argc, char** argv) {
    int regions = maxRegions;
    int entries = maxEntries;
    std::uint64_t seed = 1;
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--regions" && i + 1 < argc) {
            regions = parseNumber(argv[++i], 1, maxRegions);
        } else if (arg == "--entries" && i + 1 < argc) {
            entries = parseNumber(argv[++i], 1, maxEntries);
        } else if (arg == "--seed" && i + 1 < argc) {
            seed = static_cast<std::uint64_t>(parseNumber(argv[++i], 0, 0x7FFFFFFF));
        } else if (!arg.empty() && arg[0] != '-' && dir == nullptr) {
            dir = argv[i];
        } else {
            usage();
        }
    }
    if (dir == nullptr) usage();
    if (::mkdir(dir, 0777) != 0 && errno != EEXIST) die(dir);
    const std::string prefix = std::string(dir) + "/";

    std::string ins;
    for (int i = 1; i <= 7; ++i)
        appendLine(ins, "SYNTHETIC CATALOGUE HEADER LINE " + std::to_string(i));
    for (int region = 1; region <= regions; ++region) appendLine(ins, "  " + baseName(region));
    appendLine(ins, "EN");
    writeFile(prefix + "merlode.ins", ins);

    std::string raw;
    raw.reserve(1024 + static_cast<std::size_t>(entries) * 59);
    long long stars = 0;
    long long bytes = static_cast<long long>(ins.size());
    for (int region = 1; region <= regions; ++region) {
        stars += buildRegion(raw, region, entries, seed);
        bytes += static_cast<long long>(raw.size());
        writeFile(prefix + baseName(region) + ".raw", raw);
    }
    std::printf("regions %d entries %lld stars %lld bytes %lld\n", regions,
                static_cast<long long>(regions) * entries, stars, bytes);
    return 0;
}
