// The star merge.
#include "catalogue/star_merge.h"

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "textio/output.h"
#include "textio/process.h"

namespace gscmerge::catalogue {
namespace {

// The best entries of the star being gathered, with their errors. The
// errors are kept here rather than looked up by the entries' numbers: a
// lookup would put a load on the path from one entry to the next. With SSE2
// (every x86 target) each step chooses by masks rather than branches:
// whether an entry begins a star, or is better than the best so far,
// follows no pattern the processor could learn.
class BestEntries {
public:
    // A star's first entry is its best in both.
    BestEntries(const RawEntry& first, std::int32_t number);

    // The entry becomes the best position when its position error is
    // strictly smaller (on equal errors the earlier entry stays), and the
    // same for the magnitude; it becomes both when it begins a new star.
    void take(const RawEntry& entry, std::int32_t number, bool newStar);

    void storeTo(Star& star) const;

private:
#if defined(__SSE2__)
    // Position in the low lanes, magnitude in the high ones: both compared
    // and chosen at once.
    static __m128d errorsOf(const RawEntry& entry) {
        return _mm_loadh_pd(_mm_load_sd(&entry.posError), &entry.magError);
    }
    __m128d errors_;
    __m128i numbers_;  // bestPos and bestMag in the two low 32-bit lanes, as in a Star
#else
    double posError_;
    double magError_;
    Star star_;
#endif
};

#if defined(__SSE2__)
static_assert(sizeof(Star) == 8 && offsetof(Star, bestMag) == 4);

BestEntries::BestEntries(const RawEntry& first, std::int32_t number)
    : errors_(errorsOf(first)), numbers_(_mm_set1_epi32(number)) {}

[[gnu::always_inline]] inline void BestEntries::take(const RawEntry& entry, std::int32_t number,
                                                     bool newStar) {
    const __m128d errors = errorsOf(entry);
    const __m128d fresh = _mm_castsi128_pd(_mm_set1_epi64x(-static_cast<long long>(newStar)));
    const __m128d taken = _mm_or_pd(_mm_cmplt_pd(errors, errors_), fresh);
    errors_ = _mm_or_pd(_mm_and_pd(taken, errors), _mm_andnot_pd(taken, errors_));
    // Each 64-bit lane's mask narrowed to the 32-bit lane of its number.
    const __m128i takenNumbers = _mm_shuffle_epi32(_mm_castpd_si128(taken), 0x08);
    numbers_ = _mm_xor_si128(
        numbers_, _mm_and_si128(takenNumbers, _mm_xor_si128(numbers_, _mm_set1_epi32(number))));
}

[[gnu::always_inline]] inline void BestEntries::storeTo(Star& star) const {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&star), numbers_);
}
#else
BestEntries::BestEntries(const RawEntry& first, std::int32_t number)
    : posError_(first.posError), magError_(first.magError), star_{number, number} {}

inline void BestEntries::take(const RawEntry& entry, std::int32_t number, bool newStar) {
    if (newStar | (entry.posError < posError_)) {
        posError_ = entry.posError;
        star_.bestPos = number;
    }
    if (newStar | (entry.magError < magError_)) {
        magError_ = entry.magError;
        star_.bestMag = number;
    }
}

inline void BestEntries::storeTo(Star& star) const {
    star = star_;
}
#endif

}  // namespace

void mergeStars(const EntryTable& entries, StarTable& stars) {
    // A region without entries has no stars; slot 1 would only hold what an
    // earlier region left there.
    if (entries.entryCount < 1) {
        stars.starCount = 0;
        return;
    }
    // The star being gathered stays in registers and is stored at its slot
    // after every entry, without a branch on whether the entry began it. For
    // the same reason a 1001st star is looked for once the entries are done:
    // stars beyond the table share its last slot meanwhile, and the merge has
    // no other effect before the stop, so the run ends as if it had stopped
    // at that star's first entry.
    const std::int32_t entryCount = entries.entryCount;
    std::int32_t count = 1;
    BestEntries best(entries.entry(1), 1);
    StarId previous = entries.entry(1).id;
    for (std::int32_t m = 2; m <= entryCount; ++m) {
        const RawEntry& entry = entries.entry(m);
        best.storeTo(stars.star(count < StarTable::kCapacity ? count : StarTable::kCapacity));
        // Grouping compares with the entry just before, never with earlier stars.
        const bool newStar = entry.id != previous;
        previous = entry.id;
        count += static_cast<std::int32_t>(newStar);
        best.take(entry, m, newStar);
    }
    if (count > StarTable::kCapacity) {
        textio::writeConsoleMessage("Error: too many distinct entries in raw file.");
        textio::stopProgram();
    }
    best.storeTo(stars.star(count));
    stars.starCount = count;
}

}  // namespace gscmerge::catalogue
