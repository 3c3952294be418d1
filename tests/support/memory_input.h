// Text in memory read through an InputBuffer exactly as a file would be
// (1024-byte blocks, the same end-of-data rules). With carry room the buffer
// can join a block's unread end to the next block, as a unit's buffer can.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "textio/input_buffer.h"

namespace gscmerge::testing {

class MemoryInput {
public:
    explicit MemoryInput(std::string data, std::uint32_t blockSize = 1024, std::uint32_t carry = 0)
        : data_(std::move(data)),
          storage_(carry + blockSize, '\0'),
          buffer_(storage_.data() + carry, blockSize, refill, this, "memory", carry) {}
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    textio::InputBuffer& buffer() { return buffer_; }
    // Bytes not yet handed to the buffer.
    [[nodiscard]] std::size_t unread() const { return data_.size() - position_; }
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
        std::memcpy(block, self.data_.data() + self.position_, count);
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
