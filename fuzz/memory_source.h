// Bytes held in memory, read through an InputBuffer exactly as a file is
// (one refill per block, the same end-of-data rules), with a block size of
// the harness's choosing so that block boundaries fall anywhere.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "textio/input_buffer.h"

namespace gscmerge::fuzz {

class MemorySource {
public:
    MemorySource(std::string_view data, std::uint32_t blockSize, const char* name)
        : data_(data), block_(blockSize), buffer_(block_.data(), blockSize, refill, this, name) {}
    MemorySource(const MemorySource&) = delete;
    MemorySource& operator=(const MemorySource&) = delete;

    textio::InputBuffer& buffer() { return buffer_; }

    // Bytes handed to the buffer so far. With one-byte blocks this is the
    // reading position exactly once a statement has ended.
    [[nodiscard]] std::size_t handedOut() const { return position_; }

private:
    static std::ptrdiff_t refill(void* source, char* block, std::size_t capacity) {
        auto& self = *static_cast<MemorySource*>(source);
        const std::size_t count = std::min(capacity, self.data_.size() - self.position_);
        if (count > 0) std::memcpy(block, self.data_.data() + self.position_, count);
        self.position_ += count;
        return static_cast<std::ptrdiff_t>(count);
    }

    std::string_view data_;
    std::size_t position_ = 0;
    std::vector<char> block_;
    textio::InputBuffer buffer_;
};

}  // namespace gscmerge::fuzz
