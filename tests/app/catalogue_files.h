// Builders for the files the program reads, and a byte-exact view of the
// directory it leaves behind, for tests that run the built program.
//
//     writeFile("merlode.ins", instructionFile({"  N0001"}));
//     writeFile("N0001.raw", rawFile(1, {entryLine(1, 5, "01 02 03.45", "-04 05 06.7",
//                                                  "0.3", "12.34", "0.15")}));
//     const ProgramRun run = runProgram(GSCMERGE_EXE, dir.path());
//     EXPECT_EQ(directoryFiles(dir.path()), (Files{{"N0001.g12", record(...)}, ...}));
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_dir.h"

namespace gscmerge::testing {

// File name -> bytes.
using Files = std::map<std::string, std::string>;

inline constexpr char kHeaderLines[] =
    "Instructions for the region batch\r\n"
    "Columns 1-2: code, EN ends the batch\r\n"
    "EN\r\n"
    "Columns 3-10: base name of the region files\r\n"
    "\r\n"
    "header line six\r\n"
    "header line seven\r\n";

// Seven header lines (one of them "EN", which does not count), the entry
// lines, and the "EN" line when `ended`. Lines end in CR LF.
inline std::string instructionFile(const std::vector<std::string>& lines, bool ended = true) {
    std::string text = kHeaderLines;
    for (const std::string& line : lines) text += line + "\r\n";
    if (ended) text += "EN\r\n";
    return text;
}

// One entry line, 57 columns: region and star number (I8 each), right
// ascension "hh mm ss.ss" in columns 18-28, declination "+dd mm ss.s" in
// 30-40, position error (F4.1) in 42-45, magnitude (F5.2) in 48-52 and
// magnitude error (F4.2) in 54-57.
inline std::string entryLine(long region, long star, std::string_view ra, std::string_view dec,
                             std::string_view posError, std::string_view magnitude,
                             std::string_view magError) {
    char line[128];
    std::snprintf(line, sizeof line, "%8ld%8ld %11.11s %11.11s %4.4s  %5.5s %4.4s", region, star,
                  std::string(ra).c_str(), std::string(dec).c_str(), std::string(posError).c_str(),
                  std::string(magnitude).c_str(), std::string(magError).c_str());
    return line;
}

// Six header lines with `countField` right-justified in columns 65-68 of the
// fourth, then the entry lines, each ended by `lineEnd`.
inline std::string rawFile(std::string_view countField, const std::vector<std::string>& lines,
                           std::string_view lineEnd = "\r\n") {
    std::string text;
    const auto add = [&](std::string_view line) {
        text += line;
        text += lineEnd;
    };
    add("GSC raw region file");
    add("   region     star hh mm ss.ss +dd mm ss.s  pos   mag   err");
    add("-------- -------- -- -- ----- --- -- ---- ----  ----- ----");
    char countLine[80];
    std::snprintf(countLine, sizeof countLine, "%-64s%4.4s",
                  "number of entries:", std::string(countField).c_str());
    add(countLine);
    add("");
    add("");
    for (const std::string& line : lines) add(line);
    return text;
}

inline std::string rawFile(long count, const std::vector<std::string>& lines,
                           std::string_view lineEnd = "\r\n") {
    return rawFile(std::to_string(count), lines, lineEnd);
}

// One output record with its line end.
inline std::string record(long region, long star, std::string_view ra, std::string_view dec,
                          std::string_view magnitude) {
    char line[128];
    std::snprintf(line, sizeof line, "GSC %4ld:%4ld %s %s %5.5s\r\n", region, star,
                  std::string(ra).c_str(), std::string(dec).c_str(),
                  std::string(magnitude).c_str());
    return line;
}

// Every file of `directory` with its bytes.
inline Files directoryFiles(const std::filesystem::path& directory) {
    Files files;
    for (const auto& item : std::filesystem::directory_iterator(directory)) {
        files[item.path().filename().string()] = readFile(item.path());
    }
    return files;
}

// The stop after a console message: the message, its line end, the stop
// text, and the line end still owed at the normal end.
inline std::string stopAfter(std::string_view message) {
    return std::string(message) + "\r\nStop - Program terminated.\r\n\r\n";
}

// A run-time error report on standard error.
inline std::string report(std::string_view head, std::string_view message) {
    return "\r\nrun-time error " + std::string(head) + "\r\n- " + std::string(message) + "\r\n";
}

}  // namespace gscmerge::testing
