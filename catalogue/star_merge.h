// Merging consecutive entries of one star: each run of entries with equal
// identifiers becomes one star, whose position comes from its entry with the
// smallest position error and whose magnitude from its entry with the
// smallest magnitude error (the first such entry on ties).
//
// Identifiers 5, 5, 7, 5 give three stars: entries 1-2, entry 3, entry 4.
#pragma once

#include <array>
#include <cstdint>

#include "catalogue/raw_region.h"

namespace gscmerge::catalogue {

struct Star {
    std::int32_t bestPos = 0;  // entry number supplying id, ra and dec
    std::int32_t bestMag = 0;  // entry number supplying magTimes10
};

// Created once for the run and never cleared.
struct StarTable {
    static constexpr std::int32_t kCapacity = 1000;
    std::array<Star, kCapacity> slots{};
    std::int32_t starCount = 0;

    // Stars are numbered from 1.
    [[nodiscard]] Star& star(std::int32_t number) {
        return slots[static_cast<std::size_t>(number - 1)];
    }
    [[nodiscard]] const Star& star(std::int32_t number) const {
        return slots[static_cast<std::size_t>(number - 1)];
    }
};

// Builds stars 1..starCount from entries 1..entryCount in one pass. A 1001st
// star writes a console message and stops. No entries give no stars.
void mergeStars(const EntryTable& entries, StarTable& stars);

}  // namespace gscmerge::catalogue
