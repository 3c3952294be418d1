#!/usr/bin/env bash
# Counts the instructions gscmerge executes per entry line, with callgrind, on
# a generated catalogue of a fixed size (by default 20 regions x 2,000 entry
# lines). Unlike wall-clock time on a shared machine, the count moves by
# well under one percent from run to run, so it shows what a change to the
# per-line code saves.
#
#   bench/count_instructions.sh [--regions N] [--entries M] [--build DIR]
#                               [--gscmerge PATH] [--dir DIR] [--functions K]
#
#   --regions N      regions in the catalogue (default 20)
#   --entries M      entry lines per region (default 2000)
#   --build DIR      build tree holding app/gscmerge and bench/gen_catalogue
#                    (default: <repository>/build/default)
#   --gscmerge PATH  converter to count (default: --build/app/gscmerge)
#   --dir DIR        work directory (default: ${TMPDIR:-/tmp}/gscmerge-count);
#                    the catalogue is regenerated there on every run
#   --functions K    also list the K functions with the most instructions
#                    (default 0: none)
#
# Prints the total instruction count, the entry lines and stars of the
# catalogue, and instructions per entry line: the whole process in user space
# (start-up, file names, system-call wrappers; not the kernel's side of the
# system calls) over the entry lines. It also counts a catalogue of half the
# regions and prints the difference per entry line: what each further entry
# line costs, without the fixed start-up (the dynamic loader alone is about
# 1.7 million instructions). The same two counts of bench/floor on the same
# catalogues show how much of that is the file traffic alone. Needs
# valgrind.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
regions=20 entries=2000 functions=0
build="$repo/build/default"
gscmerge="" dir="${TMPDIR:-/tmp}/gscmerge-count"

die() { echo "count_instructions: $*" >&2; exit 1; }
while [[ $# -gt 0 ]]; do
    [[ $# -ge 2 ]] || die "missing value for $1"
    case $1 in
        --regions) regions=$2 ;;
        --entries) entries=$2 ;;
        --build) build=$2 ;;
        --gscmerge) gscmerge=$2 ;;
        --dir) dir=$2 ;;
        --functions) functions=$2 ;;
        *) die "unknown option $1 (see the top of $0)" ;;
    esac
    shift 2
done
command -v valgrind > /dev/null || die "valgrind is not installed"

program() {
    [[ -x $1 && -f $1 ]] || die "no executable at $1"
    readlink -f "$1"
}
gscmerge=$(program "${gscmerge:-$build/app/gscmerge}")
gen=$(program "$build/bench/gen_catalogue")
floor=$(program "$build/bench/floor")

mkdir -p "$dir"
dir=$(readlink -f "$dir")

# count REGIONS OUTFILE [PROGRAM]: generates REGIONS x entries into
# $dir/catalogue, runs PROGRAM (default gscmerge) there under callgrind;
# prints "instructions entry-lines stars".
count() {
    local cat="$dir/catalogue" out=$2 program=${3:-$gscmerge} summary total
    rm -rf "$cat"
    summary=$("$gen" --regions "$1" --entries "$entries" "$cat")
    rm -f "$out"
    (cd "$cat" && valgrind --tool=callgrind --callgrind-out-file="$out" "$program" \
        > "$dir/gscmerge.out" 2> "$dir/valgrind.log") ||
        die "$program failed under callgrind; see $dir/valgrind.log"
    [[ -s $dir/gscmerge.out ]] && die "$program wrote to the console; see $dir/gscmerge.out"
    total=$(sed -n 's/^summary: //p' "$out")
    [[ -n $total ]] || die "no summary in $out"
    read -r _ _ _ lines _ stars _ _ <<< "$summary"
    echo "$total $lines $stars"
}

half=$((regions / 2))
[[ $half -ge 1 ]] || die "--regions must be at least 2"
read -r halfTotal halfLines _ < <(count "$half" "$dir/callgrind.half.out")
read -r floorHalf _ _ < <(count "$half" "$dir/callgrind.floor-half.out" "$floor")
read -r floorTotal _ _ < <(count "$regions" "$dir/callgrind.floor.out" "$floor")
out="$dir/callgrind.out"
read -r total entryLines stars < <(count "$regions" "$out")

echo "catalogue: $regions regions, $entryLines entry lines, $stars stars"
echo "instructions: $total"
awk -v t="$total" -v e="$entryLines" 'BEGIN { printf "instructions per entry line: %.0f\n", t / e }'
awk -v t="$total" -v e="$entryLines" -v h="$halfTotal" -v l="$halfLines" -v r="$half" \
    'BEGIN { printf "per further entry line (against %d regions): %.0f\n", r, (t - h) / (e - l) }'
awk -v t="$floorTotal" -v e="$entryLines" -v h="$floorHalf" -v l="$halfLines" \
    'BEGIN { printf "floor, the file traffic alone: %.0f per entry line, %.0f per further one\n", t / e, (t - h) / (e - l) }'
if [[ $functions -gt 0 ]]; then
    callgrind_annotate --threshold=99.9 "$out" 2> /dev/null |
        awk '/^-+$/ { rule++ } rule >= 3 && NF { print }' | head -n "$((functions + 1))"
fi
