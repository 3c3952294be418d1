// The writing side of a connection: a block that collects the bytes of
// records and goes to the file only when it is full (a record may be split
// across two writes) or when the connection is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gscmerge::textio {

class OutputBuffer {
public:
    // Writes `count` bytes of the block to the file; reports a failure itself.
    using Flush = void (*)(void* sink, const char* bytes, std::size_t count);

    OutputBuffer() = default;
    OutputBuffer(char* block, std::uint32_t capacity, Flush flush, void* sink)
        : block_(block), capacity_(capacity), flush_(flush), sink_(sink) {}

    // A block that has just become full is written at once, so a record may
    // leave part of itself in one write and the rest in the next.
    void putChar(char c) {
        block_[fill_++] = c;
        if (fill_ == capacity_) flushFull();
    }

    void putChars(const char* chars, std::size_t count) {
        while (count > 0) {
            const std::size_t room = capacity_ - fill_;
            const std::size_t part = count < room ? count : room;
            std::memcpy(block_ + fill_, chars, part);
            fill_ += static_cast<std::uint32_t>(part);
            chars += part;
            count -= part;
            if (fill_ == capacity_) flushFull();
        }
    }

    // Room for `count` bytes at the fill position, or null when the block
    // has less left: a caller may build them there and then `commit` them.
    [[nodiscard]] char* room(std::size_t count) {
        return capacity_ - fill_ >= count ? block_ + fill_ : nullptr;
    }
    // The `count` bytes built at `room(count)` join the block.
    void commit(std::size_t count) {
        fill_ += static_cast<std::uint32_t>(count);
        if (fill_ == capacity_) flushFull();
    }

    void putBlanks(std::int64_t count) {
        for (std::int64_t i = 0; i < count; ++i) putChar(' ');
    }

    // Bytes collected and not yet written.
    [[nodiscard]] std::uint32_t waiting() const { return fill_; }

    // Writes what is waiting (at close).
    void flushWaiting() {
        if (fill_ == 0) return;
        const std::uint32_t count = fill_;
        fill_ = 0;
        flush_(sink_, block_, count);
    }

    void reset() { fill_ = 0; }

private:
    // The fill position is reset first: a failed write ends the process, and
    // the close that follows must not write the same block again.
    void flushFull() {
        fill_ = 0;
        flush_(sink_, block_, capacity_);
    }

    char* block_ = nullptr;
    std::uint32_t capacity_ = 0;
    Flush flush_ = nullptr;
    void* sink_ = nullptr;
    std::uint32_t fill_ = 0;
};

}  // namespace gscmerge::textio
