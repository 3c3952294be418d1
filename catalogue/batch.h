// The batch over the instruction file "merlode.ins": after seven header
// lines, each line names a region by the base name in columns 3-10, until the
// line whose code (columns 1-2) is exactly "EN". For each region the raw file
// <base>.raw is read, its entries merged into stars and <base>.g12 written.
#pragma once

#include <array>
#include <cstdint>

namespace gscmerge::catalogue {

// Twelve one-character cells: 1-8 receive columns 3-10 of an entry line,
// 9-12 are working room for the suffix. Never cleared between entries.
using NameCells = std::array<char, 12>;

// Cells before the first blank or full stop among cells 1-8; 8 if none.
[[nodiscard]] std::int32_t baseLength(const NameCells& nameChars);

// Fills the 12-character names <base>.raw and <base>.g12, blank-padded, by
// writing them to the scratch file "gsctmp.tmp" on unit 2 and reading them
// back; the scratch file is deleted afterwards.
void deriveFileNames(NameCells& nameChars, std::int32_t baseLength, char (&rawFileName)[12],
                     char (&outFileName)[12]);

// The main flow: the whole batch, from "merlode.ins" to the last output file.
void runBatch();

}  // namespace gscmerge::catalogue
