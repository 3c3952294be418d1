// floor: the file traffic of one conversion run and nothing else, as the
// lower bound against which the converter is timed.
//
// Run without arguments in a catalogue directory. Like the converter it reads
// "merlode.ins" in 1024-byte blocks, and for each region line up to "EN":
// writes the two file names to "gsctmp.tmp", reads them back and deletes it;
// reads the raw region file in 1024-byte blocks (one read(2) per block) up to
// its last counted entry line; counts the runs of equal identifiers (columns
// 1-16, compared as bytes); and writes an output file of one 45-byte record
// (43 columns + CR LF) per run in 1024-byte writes plus the remainder, so each
// output file has the size the conversion gives it. No number is converted
// except the entry count, and no record content is computed.
//
// Built a second time as floor_unit_opens (FLOOR_UNIT_OPENS=1), it opens its
// files as the converter's units must: an existing file read-write first
// (the instruction file, the scratch file read back, the raw file), with an
// fstat(2) of each file so opened for its identity, and every file it writes
// created exclusively. The difference between the two floors is what that
// open protocol costs by itself.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

namespace {

#ifndef FLOOR_UNIT_OPENS
#define FLOOR_UNIT_OPENS 0
#endif
constexpr bool kUnitOpens = FLOOR_UNIT_OPENS != 0;

constexpr std::size_t blockSize = 1024;
constexpr std::size_t recordSize = 45;

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "floor: %s: %s\n", what.c_str(), std::strerror(errno));
    std::exit(1);
}

[[noreturn]] void dieShort(const std::string& what) {
    std::fprintf(stderr, "floor: %s: ends early\n", what.c_str());
    std::exit(1);
}

int openFile(const std::string& name, int flags) {
    int fd = ::open(name.c_str(), flags, 0666);
    if (fd < 0) die(name);
    return fd;
}

// An existing file, opened for reading.
int openExisting(const std::string& name) {
    if (!kUnitOpens) return openFile(name, O_RDONLY);
    const int fd = openFile(name, O_RDWR);
    struct stat identity {};
    if (::fstat(fd, &identity) != 0) die(name);
    return fd;
}

// A file to write, replacing any of that name (there is none in a run).
int createFile(const std::string& name) {
    return openFile(name, kUnitOpens ? O_RDWR | O_CREAT | O_EXCL : O_WRONLY | O_CREAT | O_TRUNC);
}

void closeFile(int fd, const std::string& name) {
    if (::close(fd) != 0) die(name);
}

void writeAll(int fd, const char* data, std::size_t size, const std::string& name) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            die(name);
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// Reads a file line by line from 1024-byte blocks and hands out only the head
// of each line: its first `width` data bytes (a CR ends the data), blank-padded.
class LineReader {
public:
    LineReader(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}

    bool nextLine(char* head, std::size_t width) {
        std::size_t filled = 0;
        bool any = false;
        for (;;) {
            if (pos_ == len_) {
                ssize_t n = ::read(fd_, block_, blockSize);
                if (n < 0) {
                    if (errno == EINTR) continue;
                    die(name_);
                }
                if (n == 0) break;  // a last line without LF is still a line
                pos_ = 0;
                len_ = static_cast<std::size_t>(n);
            }
            any = true;
            const char* start = block_ + pos_;
            std::size_t avail = len_ - pos_;
            auto* lf = static_cast<const char*>(std::memchr(start, '\n', avail));
            std::size_t segment = lf != nullptr ? static_cast<std::size_t>(lf - start) : avail;
            std::size_t take = segment < width - filled ? segment : width - filled;
            std::memcpy(head + filled, start, take);
            filled += take;
            if (lf != nullptr) {
                pos_ += segment + 1;
                break;
            }
            pos_ = len_;
        }
        if (!any) return false;
        auto* cr = static_cast<char*>(std::memchr(head, '\r', filled));
        if (cr != nullptr) filled = static_cast<std::size_t>(cr - head);
        std::memset(head + filled, ' ', width - filled);
        return true;
    }

private:
    int fd_;
    std::string name_;
    char block_[blockSize];
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
};

// The entry count: an integer field in columns 65-68, blanks ignored.
long parseCount(const char* field) {
    long value = 0;
    bool negative = false;
    for (int i = 0; i < 4; ++i) {
        char c = field[i];
        if (c == '-') negative = true;
        if (c >= '0' && c <= '9') value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

void passNamesThroughScratch(const std::string& base) {
    const std::string scratch = "gsctmp.tmp";
    const std::string names = base + ".raw\r\n" + base + ".g12\r\n";
    int fd = createFile(scratch);
    writeAll(fd, names.data(), names.size(), scratch);
    closeFile(fd, scratch);
    fd = openExisting(scratch);
    char block[blockSize];
    if (::read(fd, block, blockSize) != static_cast<ssize_t>(names.size())) dieShort(scratch);
    closeFile(fd, scratch);
    if (::unlink(scratch.c_str()) != 0) die(scratch);
}

long countRuns(const std::string& rawName) {
    int fd = openExisting(rawName);
    LineReader reader(fd, rawName);
    char head[68];
    long count = 0;
    for (int line = 1; line <= 6; ++line) {
        if (!reader.nextLine(head, sizeof head)) dieShort(rawName);
        if (line == 4) count = parseCount(head + 64);
    }
    long runs = 0;
    char previous[16];
    for (long i = 0; i < count; ++i) {
        if (!reader.nextLine(head, 16)) dieShort(rawName);
        if (i == 0 || std::memcmp(head, previous, 16) != 0) {
            ++runs;
            std::memcpy(previous, head, 16);
        }
    }
    closeFile(fd, rawName);
    return runs;
}

void writeOutput(const std::string& outName, long runs) {
    // Records repeat every 45 bytes, so each 1024-byte block is a window
    // into a run of records starting at the block's offset modulo 45.
    static char pattern[blockSize + recordSize];
    if (pattern[0] == '\0') {
        static const char record[] = "GSC    1:   1 00 00 00.00 +00 00 00.0 10.00\r\n";
        static_assert(sizeof record - 1 == recordSize);
        for (std::size_t i = 0; i < sizeof pattern; ++i) pattern[i] = record[i % recordSize];
    }
    int fd = createFile(outName);
    std::size_t total = static_cast<std::size_t>(runs) * recordSize;
    for (std::size_t offset = 0; offset < total; offset += blockSize) {
        std::size_t size = total - offset < blockSize ? total - offset : blockSize;
        writeAll(fd, pattern + offset % recordSize, size, outName);
    }
    closeFile(fd, outName);
}

}  // namespace

int main() {
    const std::string insName = "merlode.ins";
    int ins = openExisting(insName);
    LineReader reader(ins, insName);
    char head[10];
    for (int i = 0; i < 7; ++i) {
        if (!reader.nextLine(head, 2)) dieShort(insName);
    }
    for (;;) {
        if (!reader.nextLine(head, sizeof head)) dieShort(insName);
        if (head[0] == 'E' && head[1] == 'N') break;
        std::size_t length = 0;
        while (length < 8 && head[2 + length] != ' ' && head[2 + length] != '.') ++length;
        const std::string base(head + 2, length);
        passNamesThroughScratch(base);
        long runs = countRuns(base + ".raw");
        writeOutput(base + ".g12", runs);
    }
    closeFile(ins, insName);
    return 0;
}
