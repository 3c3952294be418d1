#!/usr/bin/env bash
# Line coverage of the program's own sources (textio/ and catalogue/) that
# each target's corpus reaches: the checked-in seeds plus whatever
# run_all.sh grew in the fuzz build tree. Builds a coverage-instrumented copy
# of the targets in FUZZ_BUILD_DIR/coverage first.
#
#   fuzz/coverage.sh [FUZZ_BUILD_DIR]        FUZZ_BUILD_DIR defaults to build/fuzz
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
fuzzbuild=${1:-$root/build/fuzz}
mkdir -p "$fuzzbuild"
fuzzbuild=$(cd "$fuzzbuild" && pwd)
cov="$fuzzbuild/coverage"

cmake -S "$root" -B "$cov" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fprofile-instr-generate -fcoverage-mapping -fsanitize=fuzzer-no-link" \
  -DGSCMERGE_BUILD_FUZZ=ON -DGSCMERGE_BUILD_TESTS=OFF -DGSCMERGE_BUILD_BENCH=OFF >/dev/null
cmake --build "$cov" >/dev/null

for fuzzer in "$cov"/fuzz/*_fuzz; do
  name=$(basename "$fuzzer")
  corpora=("$here/corpus/$name")
  [[ -d $fuzzbuild/fuzz-work/$name/corpus ]] && corpora+=("$fuzzbuild/fuzz-work/$name/corpus")
  rm -f "$cov/$name".*.profraw
  LLVM_PROFILE_FILE="$cov/$name.%p.profraw" "$fuzzer" -runs=0 "${corpora[@]}" >/dev/null 2>&1
  llvm-profdata merge -sparse "$cov/$name".*.profraw -o "$cov/$name.profdata"
  printf '%-14s ' "$name"
  llvm-cov report "$fuzzer" -instr-profile="$cov/$name.profdata" \
    "$root/textio" "$root/catalogue" | awk '$1 == "TOTAL" {
      printf "lines %s of %s covered (%s), functions %s\n", $8 - $9, $8, $10, $7 }'
done
