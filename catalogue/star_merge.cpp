// The star merge.
#include "catalogue/star_merge.h"

#include "textio/output.h"
#include "textio/process.h"

namespace gscmerge::catalogue {

void mergeStars(const EntryTable& entries, StarTable& stars) {
    // A region without entries has no stars; slot 1 would only hold what an
    // earlier region left there.
    if (entries.entryCount < 1) {
        stars.starCount = 0;
        return;
    }
    stars.starCount = 1;
    stars.star(1) = Star{1, 1};
    for (std::int32_t m = 2; m <= entries.entryCount; ++m) {
        const RawEntry& entry = entries.entry(m);
        // Grouping compares with the entry just before, never with earlier stars.
        if (entry.id != entries.entry(m - 1).id) {
            ++stars.starCount;
            if (stars.starCount > StarTable::kCapacity) {
                textio::writeConsoleMessage("Error: too many distinct entries in raw file.");
                textio::stopProgram();
            }
            stars.star(stars.starCount) = Star{m, m};
            continue;
        }
        // Strict comparisons: on equal errors the earlier entry stays.
        Star& star = stars.star(stars.starCount);
        if (entries.entry(star.bestPos).posError > entry.posError) star.bestPos = m;
        if (entries.entry(star.bestMag).magError > entry.magError) star.bestMag = m;
    }
}

}  // namespace gscmerge::catalogue
