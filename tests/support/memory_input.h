// Text held in memory, read through an InputBuffer exactly as a file would be
// (1024-byte blocks, the same end-of-data rules).
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "textio/input_buffer.h"

namespace gscmerge::testing {

class MemoryInput {
public:
    explicit MemoryInput(std::string data, std::uint32_t blockSize = 1024)
        : data_(std::move(data)),
          block_(blockSize, '\0'),
          buffer_(block_.data(), blockSize, refill, this, "memory") {}
    MemoryInput(const MemoryInput&) = delete;
    MemoryInput& operator=(const MemoryInput&) = delete;

    textio::InputBuffer& buffer() { return buffer_; }
    // Bytes not yet handed to the buffer.
    [[nodiscard]] std::size_t unread() const { return data_.size() - position_; }

private:
    static std::ptrdiff_t refill(void* source, char* block, std::size_t capacity) {
        auto& self = *static_cast<MemoryInput*>(source);
        const std::size_t count = std::min(capacity, self.data_.size() - self.position_);
        std::memcpy(block, self.data_.data() + self.position_, count);
        self.position_ += count;
        return static_cast<std::ptrdiff_t>(count);
    }

    std::string data_;
    std::size_t position_ = 0;
    std::string block_;
    textio::InputBuffer buffer_;
};

}  // namespace gscmerge::testing
