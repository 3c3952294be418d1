// Bytes in memory read through an InputBuffer exactly as a file would be (one
// refill per block, the same end-of-data rules), for tests and fuzzers alike.
// The block size is the caller's choice, so that block boundaries fall
// anywhere; with carry room the buffer can join a block's unread end to the
// next block, as a unit's buffer can.
//
//     MemoryInput input("  12\r\n", 1);   // one-byte blocks
//     InputStatement read(input.buffer(), parseLayout("(I4)"));
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "textio/input_buffer.h"

namespace gscmerge::testing {

class MemoryInput {
public:
    // `name` is what a READ report shows.
    explicit MemoryInput(std::string data, std::uint32_t blockSize = 1024, std::uint32_t carry = 0,
                         const char* name = "memory")
        : data_(std::move(data)),
          storage_(carry + blockSize, '\0'),
          buffer_(storage_.data() + carry, blockSize, refill, this, name, carry) {}
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    textio::InputBuffer& buffer() { return buffer_; }
    // Bytes not yet handed to the buffer.
    [[nodiscard]] std::size_t unread() const { return data_.size() - position_; }
    // Bytes handed to the buffer so far. With one-byte blocks this is the
    // reading position exactly once a statement has ended.
    [[nodiscard]] std::size_t handedOut() const { return position_; }
    // Refill calls so far, the failed one included.
    [[nodiscard]] int refills() const { return refills_; }
    // Every refill after the first `blocks` fails as a system read would.
    void failAfterBlocks(int blocks) { goodBlocks_ = blocks; }

private:
    static std::ptrdiff_t refill(void* source, char* block, std::size_t capacity) {
        auto& self = *static_cast<MemoryInput*>(source);
        const int call = self.refills_++;
        if (self.goodBlocks_ >= 0 && call >= self.goodBlocks_) return -1;
        const std::size_t count = std::min(capacity, self.data_.size() - self.position_);
        if (count > 0) std::memcpy(block, self.data_.data() + self.position_, count);
        self.position_ += count;
        return static_cast<std::ptrdiff_t>(count);
    }

    std::string data_;
    std::size_t position_ = 0;
    int refills_ = 0;
    int goodBlocks_ = -1;  // none fails
    std::string storage_;  // carry room, then the block
    textio::InputBuffer buffer_;
};

}  // namespace gscmerge::testing
