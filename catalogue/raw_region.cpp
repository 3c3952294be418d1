// The raw region file reader.
#include "catalogue/raw_region.h"

#include "textio/floating_point.h"
#include "textio/output.h"
#include "textio/process.h"
#include "textio/record_statements.h"
#include "textio/units.h"

namespace gscmerge::catalogue {
namespace {

using textio::compileLayout;
using textio::readRecord;

constexpr std::int32_t kRawUnit = 3;

constexpr auto kHeaderLine = compileLayout<"(A)">();
constexpr auto kCountLine = compileLayout<"(64X,I4)">();
constexpr auto kEntryLine =
    compileLayout<"(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)">();

// The twelve fields of one entry line, in column order. Left without
// initial values: `readRecord` assigns every field or ends the run, and
// clearing them first would cost six stores a line.
struct EntryLine {
    std::int32_t region;
    std::int32_t starNumber;
    std::int32_t raHours;
    std::int32_t raMinutes;
    double raSeconds;
    char decSign;
    std::int32_t decDegrees;
    std::int32_t decMinutes;
    double decSeconds;
    double posError;
    double magnitude;
    double magError;
};

void skipHeaderLine(textio::InputBuffer& input) {
    char scratch[2];
    readRecord(input, kHeaderLine, scratch);
}

EntryLine readEntryLine(textio::InputBuffer& input) {
    EntryLine line;
    readRecord(input, kEntryLine, line.region, line.starNumber, line.raHours, line.raMinutes,
               line.raSeconds, line.decSign, line.decDegrees, line.decMinutes, line.decSeconds,
               line.posError, line.magnitude, line.magError);
    return line;
}

// +1 for "+", -1 for "-"; anything else, a blank included, stops the run.
// '+' and '-' are 43 and 45, so the factor is 1 less their distance from '+',
// without a branch on which of the two a line holds (both are common).
std::int32_t signFactor(char sign) {
    const std::uint32_t distance = static_cast<unsigned char>(sign) - std::uint32_t{'+'};
    if ((distance & ~2u) != 0) [[unlikely]] {
        textio::writeConsoleMessage("Error: Invalid char. in decl. sign field.");
        textio::stopProgram();
    }
    return 1 - static_cast<std::int32_t>(distance);
}

}  // namespace

RaUnits encodeRa(std::int32_t hours, std::int32_t minutes, double seconds) {
    const std::int32_t wholeSeconds = wrapMul(wrapAdd(wrapMul(hours, 60), minutes), 60);
    const double x = static_cast<double>(wholeSeconds) + seconds;
    const double y = x * 1500.0;
    return textio::truncateToInt32(y);
}

DecUnits encodeDec(std::int32_t signFactor, std::int32_t degrees, std::int32_t minutes,
                   double seconds) {
    const std::int32_t wholeSeconds = wrapMul(wrapAdd(wrapMul(degrees, 60), minutes), 60);
    double x = static_cast<double>(wholeSeconds) + seconds;
    x = x * static_cast<double>(signFactor);
    const double y = x * 100.0;
    return textio::truncateToInt32(y);
}

void readRawRegionFile(const char (&rawFileName)[12], EntryTable& table) {
    textio::openUnit(kRawUnit, {rawFileName, sizeof(rawFileName)}, "OLD");
    textio::InputBuffer& input = textio::findUnit(kRawUnit)->input;
    for (int i = 0; i < 3; ++i) skipHeaderLine(input);
    std::int32_t count = 0;
    readRecord(input, kCountLine, count);
    for (int i = 0; i < 2; ++i) skipHeaderLine(input);

    // Counted here, in a register, and stored once the lines are read: a
    // line that fails ends the run, and nothing looks at the table before.
    std::int32_t entryCount = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const EntryLine line = readEntryLine(input);
        ++entryCount;
        const StarId id = wrapAdd(wrapMul(line.region, 10000), line.starNumber);
        // Checked after the read: the 2001st line must still be readable.
        if (entryCount > EntryTable::kCapacity) {
            textio::writeConsoleMessage("Error: too many entries in raw GSC file.");
            textio::stopProgram();
        }
        RawEntry& entry = table.entry(entryCount);
        entry.id = id;
        entry.ra = encodeRa(line.raHours, line.raMinutes, line.raSeconds);
        const std::int32_t sign = signFactor(line.decSign);
        entry.dec = encodeDec(sign, line.decDegrees, line.decMinutes, line.decSeconds);
        entry.posError = line.posError;
        entry.magError = line.magError;
        entry.magTimes10 = line.magnitude * 10.0;
        // Where the line's arithmetic overflowed without a trap, the run ends
        // here as the trap would have ended it. The line's values are finite
        // (a read that overflowed has ended the run already), and the units
        // of the position end it themselves when they would not fit, so the
        // one result left to look at is the magnitude's.
        textio::raiseIfNotFinite(entry.magTimes10);
    }
    table.entryCount = entryCount;
    textio::closeUnit(kRawUnit, "keep");
}

}  // namespace gscmerge::catalogue
