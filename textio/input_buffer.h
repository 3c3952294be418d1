// The reading side of a connection: a block of the file's bytes and the
// position in it. Bytes arrive untranslated (CR, LF and the character 26 as
// they stand in the file); records are cut from them at line feeds.
//
// The block is refilled through a callback, so the same code reads a unit's
// file (one system read per block) or a line held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gscmerge::textio {

class InputBuffer {
public:
    // Fills `block` with up to `capacity` bytes; returns how many (0 at the end
    // of the data) or -1 when the system failed to read.
    using Refill = std::ptrdiff_t (*)(void* source, char* block, std::size_t capacity);

    static constexpr int kEndOfData = -1;

    InputBuffer() = default;
    InputBuffer(char* block, std::uint32_t capacity, Refill refill, void* source,
                const char* name)
        : block_(block), capacity_(capacity), refill_(refill), source_(source), name_(name) {}

    // The next character without taking it, as an unsigned byte. At the end of
    // a file whose last byte is not a line feed, a line feed follows it; after
    // that, the end of the file is error 6501, a failed read error 6500.
    [[nodiscard]] int peekChar() {
        if (next_ < valid_) return static_cast<unsigned char>(block_[next_]);
        return refillAndPeek();
    }

    // Takes the character that `peekChar` just showed.
    void skipChar() { ++next_; }

    [[nodiscard]] int takeChar() {
        const int c = peekChar();
        ++next_;
        return c;
    }

    // Takes characters up to and including the next line feed.
    void endRecord() {
        for (;;) {
            if (next_ < valid_) {
                const void* lf = std::memchr(block_ + next_, '\n', valid_ - next_);
                if (lf != nullptr) {
                    next_ = static_cast<std::uint32_t>(static_cast<const char*>(lf) - block_) + 1;
                    return;
                }
                next_ = valid_;
            }
            (void)peekChar();
        }
    }

    // The unread bytes of the current block, without reading further. A
    // caller that handles a whole record from here moves on with `advance`.
    [[nodiscard]] const char* unreadBytes() const { return block_ + next_; }
    [[nodiscard]] std::uint32_t unreadCount() const { return valid_ - next_; }
    void advance(std::uint32_t count) { next_ += count; }

    // The name that error reports show for this data.
    [[nodiscard]] const char* name() const { return name_; }

    // Forgets buffered bytes, e.g. when the connection is reused.
    void reset() {
        next_ = valid_ = 0;
        everRead_ = lastWasLineFeed_ = finished_ = false;
    }

private:
    int refillAndPeek();

    char* block_ = nullptr;
    std::uint32_t capacity_ = 0;
    Refill refill_ = nullptr;
    void* source_ = nullptr;
    const char* name_ = "";
    std::uint32_t next_ = 0;
    std::uint32_t valid_ = 0;
    bool everRead_ = false;         // some byte came from the data
    bool lastWasLineFeed_ = false;  // the last byte of the data so far is a line feed
    bool finished_ = false;         // the closing line feed has been supplied
};

}  // namespace gscmerge::textio
