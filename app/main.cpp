// gscmerge: converts the raw region files named in "merlode.ins" (current
// directory) into merged 43-column star lists. No arguments are read.
#include "catalogue/batch.h"
#include "textio/process.h"

int main() {
    gscmerge::textio::runProgram(gscmerge::catalogue::runBatch);
}
