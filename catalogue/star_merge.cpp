// The star merge.
#include "catalogue/star_merge.h"

#include <cstdint>

#include "textio/output.h"
#include "textio/process.h"

namespace gscmerge::catalogue {
namespace {

// `chosen` when `choose`, else `other`, by a mask rather than a branch.
[[gnu::always_inline]] inline std::int32_t select(bool choose, std::int32_t chosen,
                                                  std::int32_t other) {
    const std::uint32_t mask = 0u - static_cast<std::uint32_t>(choose);
    return wrapAdd(other, static_cast<std::int32_t>(
                              static_cast<std::uint32_t>(wrapSub(chosen, other)) & mask));
}

}  // namespace

void mergeStars(const EntryTable& entries, StarTable& stars) {
    // A region without entries has no stars; slot 1 would only hold what an
    // earlier region left there.
    if (entries.entryCount < 1) {
        stars.starCount = 0;
        return;
    }
    // The star being gathered stays in registers and is stored at its slot
    // after every entry. Each step chooses with selects rather than
    // branches: whether an entry begins a star, or is better than the best
    // so far, follows no pattern the processor could learn. For the same
    // reason a 1001st star is looked for once the entries are done: stars
    // beyond the table share its last slot meanwhile, and the merge has no
    // other effect before the stop, so the run ends as if it had stopped at
    // that star's first entry.
    std::int32_t count = 1;
    Star current{1, 1};
    StarId previous = entries.entry(1).id;
    for (std::int32_t m = 2; m <= entries.entryCount; ++m) {
        const RawEntry& entry = entries.entry(m);
        stars.star(count < StarTable::kCapacity ? count : StarTable::kCapacity) = current;
        // Grouping compares with the entry just before, never with earlier stars.
        const bool newStar = entry.id != previous;
        previous = entry.id;
        count += static_cast<std::int32_t>(newStar);
        // Strict comparisons: on equal errors the earlier entry stays. A new
        // star begins with its first entry as both.
        const bool betterPos = entries.entry(current.bestPos).posError > entry.posError;
        const bool betterMag = entries.entry(current.bestMag).magError > entry.magError;
        current.bestPos = select(newStar | betterPos, m, current.bestPos);
        current.bestMag = select(newStar | betterMag, m, current.bestMag);
    }
    if (count > StarTable::kCapacity) {
        textio::writeConsoleMessage("Error: too many distinct entries in raw file.");
        textio::stopProgram();
    }
    stars.star(count) = current;
    stars.starCount = count;
}

}  // namespace gscmerge::catalogue
