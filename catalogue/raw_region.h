// Reading one raw region file into the entry table, with positions encoded
// as integers.
//
// Raw file: three header lines, a line whose columns 65-68 hold the number of
// entry lines, two more header lines, then one fixed-column entry line per
// catalogue entry, e.g. (columns 1-57)
//     "    1234      56 01 02 03.45 -04 05 06.7  0.3  12.34 0.15"
#pragma once

#include <array>
#include <cstdint>

#include "catalogue/star_types.h"

namespace gscmerge::catalogue {

struct RawEntry {
    StarId id = 0;
    RaUnits ra = 0;
    DecUnits dec = 0;
    double posError = 0.0;    // the smaller, the better
    double magTimes10 = 0.0;  // magnitude x 10.0
    double magError = 0.0;    // the smaller, the better
};

// Created once for the run and never cleared: slots above `entryCount` keep
// what earlier regions left there.
struct EntryTable {
    static constexpr std::int32_t kCapacity = 2000;
    std::array<RawEntry, kCapacity> slots{};
    std::int32_t entryCount = 0;

    // Entries are numbered from 1.
    [[nodiscard]] RawEntry& entry(std::int32_t number) {
        return slots[static_cast<std::size_t>(number - 1)];
    }
    [[nodiscard]] const RawEntry& entry(std::int32_t number) const {
        return slots[static_cast<std::size_t>(number - 1)];
    }
};

// Reads the raw file `rawFileName` (12 characters, blank-padded) on unit 3 into
// slots 1..entryCount. More than 2000 entries or a declination sign other than
// "+" or "-" writes a console message and stops; a missing file or an
// unreadable line is a run-time error. Returns only on success.
void readRawRegionFile(const char (&rawFileName)[12], EntryTable& table);

// (hours x 60 + minutes) x 60 + seconds, times 1500, truncated:
// encodeRa(1, 2, 3.45) == 5585175; encodeRa(0, 0, 0.29) == 434 (0.29 x 1500.0
// rounds to 434.99999999999994 before the truncation).
[[nodiscard]] RaUnits encodeRa(std::int32_t hours, std::int32_t minutes, double seconds);

// sign x ((degrees x 60 + minutes) x 60 + seconds), times 100, truncated:
// encodeDec(-1, 4, 5, 6.7) == -1470670; encodeDec(1, 0, 0, 2.3) == 229.
[[nodiscard]] DecUnits encodeDec(std::int32_t signFactor, std::int32_t degrees,
                                 std::int32_t minutes, double seconds);

}  // namespace gscmerge::catalogue
