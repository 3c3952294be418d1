// The raw region file reader.
#include "catalogue/raw_region.h"

#include "textio/fixed_columns.h"
#include "textio/floating_point.h"
#include "textio/input.h"
#include "textio/output.h"
#include "textio/termination.h"
#include "textio/units.h"

namespace gscmerge::catalogue {
namespace {

using textio::InputStatement;
using textio::parseLayout;
using textio::RecordLayout;

constexpr std::int32_t kRawUnit = 3;

constexpr RecordLayout kHeaderLayout = parseLayout("(A)");
constexpr RecordLayout kCountLayout = parseLayout("(64X,I4)");
constexpr RecordLayout kEntryLayout = parseLayout(
    "(2I8,1X,I2,1X,I2,1X,F5.2,1X,A1,I2,1X,I2,1X,F4.1,1X,F4.1,2X,F5.2,1X,F4.2)");
static_assert(kCountLayout.descriptors[0].kind == textio::DescriptorKind::Skip &&
              kCountLayout.descriptors[0].width == 64 &&
              kCountLayout.descriptors[1].kind == textio::DescriptorKind::IntegerField &&
              kCountLayout.descriptors[1].width == 4);
static_assert(kEntryLayout.count == 21 &&
              kEntryLayout.descriptors[20].kind == textio::DescriptorKind::LayoutEnd);

// The twelve fields of one entry line, in column order.
struct EntryLine {
    std::int32_t region = 0;
    std::int32_t starNumber = 0;
    std::int32_t raHours = 0;
    std::int32_t raMinutes = 0;
    double raSeconds = 0.0;
    char decSign[1] = {' '};
    std::int32_t decDegrees = 0;
    std::int32_t decMinutes = 0;
    double decSeconds = 0.0;
    double posError = 0.0;
    double magnitude = 0.0;
    double magError = 0.0;
};

void skipHeaderLine(textio::InputBuffer& input) {
    char scratch[2];
    InputStatement read(input, kHeaderLayout);
    read.getText(scratch, 2);
    read.endRead();
}

// Plain entry lines are read straight from their columns, those crossing a
// block's end too; every other line goes through the read statement, which
// gives the same values and reports what is wrong.
constexpr textio::ColumnPlan kEntryColumns = textio::planColumns(kEntryLayout);
static_assert(kEntryColumns.usable && kEntryColumns.count == 12);

bool readPlainEntryLine(textio::InputBuffer& input, EntryLine& line) {
    textio::ColumnValue values[12];
    if (!textio::readColumns<kEntryColumns>(input, values)) return false;
    line.region = values[0].integer;
    line.starNumber = values[1].integer;
    line.raHours = values[2].integer;
    line.raMinutes = values[3].integer;
    line.raSeconds = values[4].real;
    line.decSign[0] = values[5].character;
    line.decDegrees = values[6].integer;
    line.decMinutes = values[7].integer;
    line.decSeconds = values[8].real;
    line.posError = values[9].real;
    line.magnitude = values[10].real;
    line.magError = values[11].real;
    return true;
}

EntryLine readEntryLine(textio::InputBuffer& input) {
    EntryLine line;
    if (readPlainEntryLine(input, line)) return line;
    InputStatement read(input, kEntryLayout);
    read.getInteger(line.region);
    read.getInteger(line.starNumber);
    read.getInteger(line.raHours);
    read.getInteger(line.raMinutes);
    read.getReal(line.raSeconds);
    read.getText(line.decSign, 1);
    read.getInteger(line.decDegrees);
    read.getInteger(line.decMinutes);
    read.getReal(line.decSeconds);
    read.getReal(line.posError);
    read.getReal(line.magnitude);
    read.getReal(line.magError);
    read.endRead();
    return line;
}

// +1 for "+", -1 for "-"; anything else, a blank included, stops the run.
std::int32_t signFactor(char sign) {
    if (sign == '+') return 1;
    if (sign == '-') return -1;
    textio::writeConsoleMessage("Error: Invalid char. in decl. sign field.");
    textio::stopProgram();
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
    {
        InputStatement read(input, kCountLayout);
        read.getInteger(count);
        read.endRead();
    }
    for (int i = 0; i < 2; ++i) skipHeaderLine(input);

    table.entryCount = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const EntryLine line = readEntryLine(input);
        ++table.entryCount;
        const StarId id = wrapAdd(wrapMul(line.region, 10000), line.starNumber);
        // Checked after the read: the 2001st line must still be readable.
        if (table.entryCount > EntryTable::kCapacity) {
            textio::writeConsoleMessage("Error: too many entries in raw GSC file.");
            textio::stopProgram();
        }
        RawEntry& entry = table.entry(table.entryCount);
        entry.id = id;
        entry.ra = encodeRa(line.raHours, line.raMinutes, line.raSeconds);
        const std::int32_t sign = signFactor(line.decSign[0]);
        entry.dec = encodeDec(sign, line.decDegrees, line.decMinutes, line.decSeconds);
        entry.posError = line.posError;
        entry.magError = line.magError;
        entry.magTimes10 = line.magnitude * 10.0;
        // Where the line's arithmetic overflowed without a trap, the run ends
        // here as the trap would have ended it.
        textio::raiseIfFloatingPointFlagged();
    }
    textio::closeUnit(kRawUnit, "keep");
}

}  // namespace gscmerge::catalogue
