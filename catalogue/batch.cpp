// The batch driver and the naming of a region's files.
#include "catalogue/batch.h"

#include "catalogue/output_records.h"
#include "catalogue/raw_region.h"
#include "catalogue/star_merge.h"
#include "textio/output.h"
#include "textio/record_statements.h"
#include "textio/units.h"

namespace gscmerge::catalogue {
namespace {

using textio::compileLayout;
using textio::OutputStatement;
using textio::readRecord;

constexpr std::int32_t kInstructionUnit = 1;
constexpr std::int32_t kScratchUnit = 2;
constexpr char kInstructionFile[] = "merlode.ins";
constexpr char kScratchFile[] = "gsctmp.tmp";

constexpr auto kWholeLine = compileLayout<"(A)">();
constexpr auto kInstructionLine = compileLayout<"(A2, 8A1)">();
constexpr auto kNameLine = compileLayout<"(12A1)">();

// The tables live for the whole run and are reused for every region.
struct BatchState {
    EntryTable entries;
    StarTable stars;
    NameCells nameChars{};
    char rawFileName[12] = {};
    char outFileName[12] = {};
};

BatchState& batchState() {
    static BatchState state;
    return state;
}

// The name's length decides the number of items, so this one record is
// written by the general statement.
void writeNameRecord(textio::UnitConnection& scratch, const NameCells& nameChars,
                     std::int32_t itemCount) {
    OutputStatement write(scratch, decltype(kNameLine)::layout);
    for (std::int32_t i = 0; i < itemCount; ++i) {
        write.putText(&nameChars[static_cast<std::size_t>(i)], 1);
    }
    write.endWrite();
}

void readNameRecord(textio::UnitConnection& scratch, char (&name)[12]) {
    readRecord(scratch.input, kWholeLine, name);
}

void putSuffix(NameCells& nameChars, std::int32_t baseLength, const char (&suffix)[5]) {
    for (std::int32_t i = 0; i < 4; ++i) {
        nameChars[static_cast<std::size_t>(baseLength + i)] = suffix[i];
    }
}

}  // namespace

std::int32_t baseLength(const NameCells& nameChars) {
    std::int32_t length = 0;
    while (length < 8 && nameChars[static_cast<std::size_t>(length)] != ' ' &&
           nameChars[static_cast<std::size_t>(length)] != '.') {
        ++length;
    }
    return length;
}

void deriveFileNames(NameCells& nameChars, std::int32_t baseLength, char (&rawFileName)[12],
                     char (&outFileName)[12]) {
    textio::openUnit(kScratchUnit, kScratchFile, "REPLACE");
    textio::UnitConnection* scratch = textio::findUnit(kScratchUnit);
    putSuffix(nameChars, baseLength, ".raw");
    writeNameRecord(*scratch, nameChars, baseLength + 4);
    putSuffix(nameChars, baseLength, ".g12");
    writeNameRecord(*scratch, nameChars, baseLength + 4);
    textio::closeUnit(kScratchUnit, "keep");

    textio::openUnit(kScratchUnit, kScratchFile, "OLD");
    scratch = textio::findUnit(kScratchUnit);
    readNameRecord(*scratch, rawFileName);
    readNameRecord(*scratch, outFileName);
    textio::closeUnit(kScratchUnit, "delete");
}

void runBatch() {
    BatchState& state = batchState();
    textio::openUnit(kInstructionUnit, kInstructionFile, "OLD");
    textio::InputBuffer& instructions = textio::findUnit(kInstructionUnit)->input;
    for (int i = 0; i < 7; ++i) {
        char scratch[2];
        readRecord(instructions, kWholeLine, scratch);
    }
    for (;;) {
        char code[2];
        char* name = state.nameChars.data();
        readRecord(instructions, kInstructionLine, code, name[0], name[1], name[2], name[3],
                   name[4], name[5], name[6], name[7]);
        if (code[0] == 'E' && code[1] == 'N') break;
        const std::int32_t length = baseLength(state.nameChars);
        deriveFileNames(state.nameChars, length, state.rawFileName, state.outFileName);
        readRawRegionFile(state.rawFileName, state.entries);
        mergeStars(state.entries, state.stars);
        writeOutputFile(state.outFileName, state.stars, state.entries);
    }
    textio::closeUnit(kInstructionUnit, "keep");
}

}  // namespace gscmerge::catalogue
