#!/usr/bin/env bash
# Times gscmerge against the floor program (the file traffic of a conversion
# and nothing else) on one synthetic catalogue.
#
#   bench/run_bench.sh [--regions N] [--entries M] [--runs K] [--build DIR]
#                      [--gscmerge PATH] [--floor PATH] [--dir DIR]
#                      [--fresh-fs IMAGE]
#
#   --regions N      regions in the catalogue, 1..9537 (default 9537)
#   --entries M      entry lines per region, 1..2000 (default 2000; the
#                    defaults make about 19 million lines, 1.1 GB)
#   --runs K         timed runs of each program, alternating (default 3)
#   --build DIR      build tree holding app/gscmerge and bench/{gen_catalogue,
#                    floor,measure} (default: <repository>/build/default)
#   --gscmerge PATH  converter to time (default: --build/app/gscmerge)
#   --floor PATH     floor program (default: --build/bench/floor)
#   --dir DIR        work directory (default: ${TMPDIR:-/tmp}/gscmerge-bench).
#                    The catalogue is generated into DIR/catalogue once and
#                    reused while its size and generator are unchanged; logs
#                    go to DIR/logs.
#   --fresh-fs IMAGE  run every run on a file system of its own: a new ext4
#                    file system (without a journal, as this machine's disk)
#                    in the file IMAGE, loop-mounted on DIR/mnt, with a copy
#                    of the catalogue made and synced before the timed part.
#                    Needs root. Creating a file costs what the inode
#                    allocator has to skip, and on a file system that has
#                    deleted many files that moves from run to run by more
#                    than the conversion costs; a new one gives every run
#                    the same start.
#
# Every run starts in DIR/catalogue after the previous run's *.g12 files are
# removed and the disks synced, outside the timed part; "measure" times it
# (wall, user+sys CPU, peak RSS via wait4). Prints the medians per program and
# the ratio of the median wall times. Fails if any run exits non-zero or
# writes to the console, or if the last gscmerge run's output files differ in
# size from the floor's.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
regions=9537 entries=2000 runs=3
build="$repo/build/default"
gscmerge="" floor="" dir="${TMPDIR:-/tmp}/gscmerge-bench" image=""

die() { echo "run_bench: $*" >&2; exit 1; }
while [[ $# -gt 0 ]]; do
    [[ $# -ge 2 ]] || die "missing value for $1"
    case $1 in
        --regions) regions=$2 ;;
        --entries) entries=$2 ;;
        --runs) runs=$2 ;;
        --build) build=$2 ;;
        --gscmerge) gscmerge=$2 ;;
        --floor) floor=$2 ;;
        --dir) dir=$2 ;;
        --fresh-fs) image=$2 ;;
        *) die "unknown option $1 (see the top of $0)" ;;
    esac
    shift 2
done
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "--runs needs a positive number"

# Programs run inside the catalogue directory, so their paths must be absolute.
program() {
    [[ -x $1 && -f $1 ]] || die "no executable at $1"
    readlink -f "$1"
}
gscmerge=$(program "${gscmerge:-$build/app/gscmerge}")
floor=$(program "${floor:-$build/bench/floor}")
gen=$(program "$build/bench/gen_catalogue")
measure=$(program "$build/bench/measure")

mkdir -p "$dir/logs"
dir=$(readlink -f "$dir")
rm -f "$dir/logs"/gscmerge.* "$dir/logs"/floor.*
cat="$dir/catalogue" info="$dir/catalogue.info"

# info holds the requested size and the generator source's checksum on its
# first line, and the generator's summary ("regions N entries E stars S bytes B")
# on its second.
key="$regions $entries $(cksum < "$repo/bench/gen_catalogue.cpp")"
if [[ -d $cat && -f $info && $(head -n 1 "$info") == "$key" ]]; then
    echo "reusing catalogue in $cat"
else
    if [[ -d $cat ]]; then
        [[ -f $info ]] || die "$cat exists but was not generated here; remove it or pick another --dir"
        rm -rf "$cat"
    fi
    rm -f "$info"
    echo "generating $regions regions x $entries entry lines in $cat"
    summary=$("$gen" --regions "$regions" --entries "$entries" "$cat")
    printf '%s\n%s\n' "$key" "$summary" > "$info"
fi
read -r _ _ _ entryLines _ outputLines _ _ < <(sed -n 2p "$info")

sizes() { (cd "$1" && find . -maxdepth 1 -name '*.g12' -printf '%f %s\n' | LC_ALL=C sort); }

# The directory a run starts in: the catalogue itself, or its copy on a new
# file system (--fresh-fs).
mnt="$dir/mnt"
unmountFresh() { if mountpoint -q "$mnt"; then umount "$mnt"; fi; }
prepareRun() {
    find "$cat" -maxdepth 1 \( -name '*.g12' -o -name gsctmp.tmp \) -delete
    if [[ -z $image ]]; then
        sync
        runDir=$cat
        return
    fi
    unmountFresh
    rm -f "$image"
    # Room for the catalogue, its outputs and the file system's own tables.
    local bytes
    bytes=$(du -sb "$cat" | cut -f1)
    truncate -s $((bytes * 2 + 512 * 1024 * 1024)) "$image"
    mkfs.ext4 -q -F -O ^has_journal -E lazy_itable_init=0,lazy_journal_init=0 "$image"
    mkdir -p "$mnt"
    mount -o loop "$image" "$mnt"
    cp -a "$cat" "$mnt/catalogue"
    sync
    runDir=$mnt/catalogue
}
if [[ -n $image ]]; then
    [[ $(id -u) -eq 0 ]] || die "--fresh-fs needs root (it mounts a file system)"
    command -v mkfs.ext4 > /dev/null || die "--fresh-fs needs mkfs.ext4"
    trap 'unmountFresh; rm -f "$image"' EXIT
fi

failed=0
for ((i = 1; i <= runs; ++i)); do
    # The order alternates from pair to pair (gscmerge first, then floor
    # first), so that a run's place in the sequence favours neither.
    order="gscmerge floor"
    if ((i % 2 == 0)); then order="floor gscmerge"; fi
    for name in $order; do
        path=${!name}
        prepareRun
        log="$dir/logs/$name.$i"
        status=0
        (cd "$runDir" && "$measure" "$log.time" "$path" > "$log.out" 2> "$log.err") || status=$?
        printf '%-8s run %d: %s\n' "$name" "$i" "$(cat "$log.time" 2>/dev/null || echo 'no timing')"
        if [[ $status -ne 0 ]]; then
            echo "$name run $i exited with status $status; see $log.out and $log.err" >&2
            [[ $name == floor ]] && exit 1
            failed=1
        elif [[ -s $log.out || -s $log.err ]]; then
            # A normal conversion is silent; a stop also exits 0 but says why.
            echo "$name run $i wrote to the console; see $log.out and $log.err" >&2
            failed=1
        fi
        if [[ $i -eq $runs ]]; then sizes "$runDir" > "$dir/logs/$name.sizes"; fi
    done
done

if ! cmp -s "$dir/logs/gscmerge.sizes" "$dir/logs/floor.sizes"; then
    echo "output file sizes of gscmerge and floor differ:" >&2
    diff "$dir/logs/gscmerge.sizes" "$dir/logs/floor.sizes" | head -n 10 >&2 || true
    failed=1
fi
total=$(awk '{ s += $2 } END { print s + 0 }' "$dir/logs/floor.sizes")
[[ $total -eq $((outputLines * 45)) ]] || { echo "floor wrote $total bytes, expected $((outputLines * 45))" >&2; failed=1; }

# Median of column $2 over the timing files of program $1.
median() {
    for f in "$dir/logs/$1".*.time; do awk -v c="$2" '{ print $c }' "$f"; done | sort -g |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# The ratio of each gscmerge run to the floor run next to it: the two share
# the machine's state of the moment, so their median moves less than the
# ratio of the medians when the machine's speed drifts.
pairedRatio() {
    for ((i = 1; i <= runs; ++i)); do
        paste "$dir/logs/gscmerge.$i.time" "$dir/logs/floor.$i.time" |
            awk -v c="$1" -v n="$2" '{ f = $(c + n); print (f > 0 ? $c / f : 0) }'
    done | sort -g |
        awk '{ v[NR] = $1 } END { printf "%.2f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo
echo "catalogue: $regions regions, $entryLines entry lines, $outputLines output lines; $runs runs each"
printf '%-9s %9s %9s %9s %9s %13s %15s %15s\n' program "wall s" "CPU s" "user s" "sys s" \
    "peak RSS KiB" "entry lines/s" "output lines/s"
declare -A medianWall
for name in gscmerge floor; do
    wall=$(median "$name" 1) cpu=$(median "$name" 2) rss=$(median "$name" 3)
    user=$(median "$name" 5) sys=$(median "$name" 6)
    awk -v n="$name" -v w="$wall" -v c="$cpu" -v u="$user" -v s="$sys" -v r="$rss" \
        -v e="$entryLines" -v o="$outputLines" \
        'BEGIN { printf "%-9s %9.3f %9.3f %9.3f %9.3f %13d %15.0f %15.0f\n", n, w, c, u, s, r, (w > 0 ? e / w : 0), (w > 0 ? o / w : 0) }'
    medianWall[$name]=$wall
done
awk -v g="${medianWall[gscmerge]}" -v f="${medianWall[floor]}" 'BEGIN { printf "ratio gscmerge/floor (median wall): %.2f\n", (f > 0 ? g / f : 0) }'
fields=$(awk '{ print NF }' "$dir/logs/floor.1.time")
echo "median of the run-by-run ratios: wall $(pairedRatio 1 "$fields"), user $(pairedRatio 5 "$fields"), sys $(pairedRatio 6 "$fields")"

if [[ $failed -ne 0 ]]; then
    echo "run_bench: FAILED (see above)" >&2
    exit 1
fi
