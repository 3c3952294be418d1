// Refilling the block, and the line feed that completes a last line.
#include "textio/input_buffer.h"

#include "textio/termination.h"

namespace gscmerge::textio {

int InputBuffer::refillAndPeek() {
    if (!finished_) {
        const std::ptrdiff_t got = refill_(source_, block_, capacity_);
        if (got < 0) raiseRuntimeError(6500, StatementKind::Read, name_);
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

}  // namespace gscmerge::textio
