// The reading side of a connection: a block of the file's bytes and the
// position in it. Bytes arrive untranslated (CR, LF and the character 26 as
// they stand in the file); records are cut from them at line feeds.
//
// The block is refilled through a callback, so the same code reads a unit's
// file (one system read per block) or a line held in memory. A buffer built
// with carry room in front of its block can join the unread end of one block
// to the next block (`extendWindow`), so that a record crossing the block's
// end can be looked at as one run of bytes.
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

    InputBuffer() = default;
    // `block` holds `capacity` bytes; the `carry` bytes before it, if any,
    // belong to the buffer too.
    InputBuffer(char* block, std::uint32_t capacity, Refill refill, void* source, const char* name,
                std::uint32_t carry = 0)
        : block_(block),
          data_(block),
          capacity_(capacity),
          carry_(carry),
          refill_(refill),
          source_(source),
          name_(name) {}

    // The next character without taking it, as an unsigned byte. At the end of
    // a file whose last byte is not a line feed, a line feed follows it; after
    // that, the end of the file is error 6501, a failed read error 6500.
    [[nodiscard]] int peekChar() {
        if (next_ < valid_) return static_cast<unsigned char>(data_[next_]);
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
                const void* lf = std::memchr(data_ + next_, '\n', valid_ - next_);
                if (lf != nullptr) {
                    next_ = static_cast<std::uint32_t>(static_cast<const char*>(lf) - data_) + 1;
                    return;
                }
                next_ = valid_;
            }
            (void)peekChar();
        }
    }

    // The unread bytes of the current block, without reading further. A
    // caller that handles a whole record from here moves on with `advance`.
    [[nodiscard]] const char* unreadBytes() const { return data_ + next_; }
    [[nodiscard]] std::uint32_t unreadCount() const { return valid_ - next_; }
    void advance(std::uint32_t count) { next_ += count; }

    // The most unread bytes `extendWindow` can carry over (0: it never can).
    [[nodiscard]] std::uint32_t carryCapacity() const { return carry_; }

    // How many bytes of the buffer's memory lie before the unread ones: bytes
    // already taken and the carry room, which may be looked at (their values
    // are whatever they are) but mean nothing.
    [[nodiscard]] std::uint32_t bytesBefore() const {
        return static_cast<std::uint32_t>(data_ + next_ - (block_ - carry_));
    }

    // Joins the unread bytes (at most `carryCapacity()` of them, none a line
    // feed) to the next block: afterwards `unreadBytes()` shows them followed
    // at once by the bytes of the next read, or by the line feed that
    // completes a last line. This is the read that taking characters past
    // the unread ones would make, made early; so it is only for a caller that
    // knows those characters will be taken without a report. Reports nothing
    // itself: a failed read, or the end of the data, is remembered and
    // reported when a character past the unread ones is wanted, exactly as
    // without the early read. False when nothing was joined.
    [[nodiscard]] bool extendWindow();

    // The name that error reports show for this data.
    [[nodiscard]] const char* name() const { return name_; }

    // Forgets buffered bytes, e.g. when the connection is reused.
    void reset() {
        data_ = block_;
        next_ = valid_ = 0;
        everRead_ = lastWasLineFeed_ = finished_ = readFailed_ = false;
    }

private:
    int refillAndPeek();

    char* block_ = nullptr;
    char* data_ = nullptr;  // the current bytes: the block, or carried bytes and the block
    std::uint32_t capacity_ = 0;
    std::uint32_t carry_ = 0;
    Refill refill_ = nullptr;
    void* source_ = nullptr;
    const char* name_ = "";
    std::uint32_t next_ = 0;
    std::uint32_t valid_ = 0;
    bool everRead_ = false;         // some byte came from the data
    bool lastWasLineFeed_ = false;  // the last byte of the data so far is a line feed
    bool finished_ = false;         // the closing line feed has been supplied
    bool readFailed_ = false;       // an early read failed; the next refill reports it
};

}  // namespace gscmerge::textio
