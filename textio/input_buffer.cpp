// Refilling the block, and the line feed that completes a last line.
#include "textio/input_buffer.h"

#include "textio/error_report.h"

namespace gscmerge::textio {

int InputBuffer::refillAndPeek() {
    if (!finished_) {
        // A read that `extendWindow` already saw fail is the read failing now.
        const std::ptrdiff_t got = readFailed_ ? -1 : refill_(source_, block_, capacity_);
        if (got < 0) raiseRuntimeError(6500, StatementKind::Read, name_);
        data_ = block_;
        if (got > 0) {
            next_ = 0;
            valid_ = static_cast<std::uint32_t>(got);
            everRead_ = true;
            lastWasLineFeed_ = block_[valid_ - 1] == '\n';
            return static_cast<unsigned char>(block_[0]);
        }
        // A last line without a line feed is still a complete record.
        if (everRead_ && !lastWasLineFeed_) {
            finished_ = true;
            lastWasLineFeed_ = true;
            block_[0] = '\n';
            next_ = 0;
            valid_ = 1;
            return '\n';
        }
    }
    finished_ = true;
    raiseRuntimeError(6501, StatementKind::Read, name_);
}

bool InputBuffer::extendWindow() {
    const std::uint32_t count = valid_ - next_;
    if (finished_ || readFailed_ || count > carry_) return false;
    // The unread bytes go just in front of the block. They lie at or after
    // that place already (the block's last `count` bytes at the latest), so
    // the move never overwrites bytes still to be moved.
    char* carried = block_ - count;
    std::memmove(carried, data_ + next_, count);
    data_ = carried;
    next_ = 0;
    valid_ = count;
    const std::ptrdiff_t got = refill_(source_, block_, capacity_);
    if (got < 0) {
        readFailed_ = true;
        return false;
    }
    if (got > 0) {
        valid_ += static_cast<std::uint32_t>(got);
        everRead_ = true;
        lastWasLineFeed_ = block_[got - 1] == '\n';
        return true;
    }
    if (everRead_ && !lastWasLineFeed_) {
        finished_ = true;
        lastWasLineFeed_ = true;
        block_[0] = '\n';
        valid_ += 1;
        return true;
    }
    // The end of a file whose last line is complete: the next character
    // wanted is error 6501, and no read is made for it.
    finished_ = true;
    return false;
}

}  // namespace gscmerge::textio
