#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, one after another (they share the
# machine's cores with everything else), from the checked-in seeds plus the
# corpus that earlier runs grew in the build tree.
#
#   fuzz/run_all.sh SECONDS [BUILD_DIR]        BUILD_DIR defaults to build/fuzz
#
# Each target's log, grown corpus and any failing input (crash-*, leak-*,
# timeout-*, oom-*) land in BUILD_DIR/fuzz-work/<target>/. Exits non-zero if
# any target found something.
set -uo pipefail

seconds=${1:?usage: fuzz/run_all.sh SECONDS [BUILD_DIR]}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-$here/../build/fuzz}" && pwd)

status=0
found=0
for fuzzer in "$build"/fuzz/*_fuzz; do
  [[ -f $fuzzer && -x $fuzzer ]] || continue
  found=1
  name=$(basename "$fuzzer")
  work="$build/fuzz-work/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "== $name: ${seconds} s"
  if "$fuzzer" "$work/corpus" "$here/corpus/$name" \
      -dict="$here/gscmerge.dict" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
      >"$work/log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|peak_rss_mb)' "$work/log"
  else
    status=1
    echo "!! $name found a fault; its input is in $work/artifacts/" >&2
    tail -n 60 "$work/log" >&2
  fi
done
if ((!found)); then
  echo "no *_fuzz targets in $build/fuzz: configure and build the fuzz preset first" >&2
  exit 2
fi
exit $status
