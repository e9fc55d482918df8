#!/usr/bin/env bash
# Compares two builds, before and after a change, in alternating turns: in
# each turn and on each shape, `wc -l` on the files, then each build's
# reading and mandatory reduction (the driver, `--no-search`) and its whole
# run (the tool under /usr/bin/time). Prints, per shape, the best and the
# median of each measure, and whether both builds need the same tests.
#
#   bench/compare.sh BEFORE [AFTER]    revisions; AFTER is the working tree
#                                      when left out
# Options:
#   --rounds N           turns (default 5)
#   --only NAMES         comma-separated generated shapes
#                        (default s20000,l20000,s5000x400)
#   --files NAME=GLOB    a shape of coverage files of your own, such as a
#                        real program's converted by the project's tools
#                        (quote the glob); may be given again
# Environment: BENCH_BUILD (build-bench), BENCH_DATA (bench/data).
# Run it on a quiet machine: the load average is printed first.
set -euo pipefail

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$bench_dir/measures.sh"
data=${BENCH_DATA:-$bench_dir/data}

rounds=5 only=s20000,l20000,s5000x400 revs=() own=()
while [ $# -gt 0 ]; do
  case $1 in
    --rounds) rounds=$2; shift ;;
    --only) only=$2; shift ;;
    --files) own+=("$2"); shift ;;
    -h|--help) sed -n '2,18p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "compare: unknown option $1" >&2; exit 2 ;;
    *) revs+=("$1") ;;
  esac
  shift
done
[ ${#revs[@]} -ge 1 ] && [ ${#revs[@]} -le 2 ] ||
  { echo "compare: usage: bench/compare.sh BEFORE [AFTER] (see --help)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "compare: install the Debian package time" >&2; exit 1; }

builds=("$("$bench_dir/build_rev.sh" "${revs[0]}")" "$("$bench_dir/build_rev.sh" "${revs[1]:-}")")
labels=("${revs[0]}" "${revs[1]:-working tree}")

# Each shape: a name and its files, one line "name file...".
shapes=$(mktemp) work=$(mktemp -d)
trap 'rm -rf "$shapes" "$work"' EXIT
if [ -n "$only" ]; then
  IFS=, read -r -a presets <<< "$only"
  python3 "$bench_dir/generate_suite.py" --out "$data" "${presets[@]}" >&2
  for preset in "${presets[@]}"; do echo "$preset $(echo "$data/$preset"/*.tio)" >> "$shapes"; done
fi
for shape in "${own[@]}"; do
  files=$(compgen -G "${shape#*=}" | sort | tr '\n' ' ') ||
    { echo "compare: no file matches ${shape#*=}" >&2; exit 1; }
  echo "${shape%%=*} $files" >> "$shapes"
done

echo "load average $(cut -d' ' -f1-3 /proc/loadavg), $rounds turns; before: ${labels[0]}, after: ${labels[1]}"
samples=$work/samples
while read -r name files; do cat $files > /dev/null; done < "$shapes"
for ((round = 0; round < rounds; ++round)); do
  while read -r name files; do
    echo "$name wc $(seconds_of wc -l $files)" >> "$samples"
    for side in 0 1; do
      build=${builds[$side]}
      line=$("$build/bench/zorvane_bench" --no-search $files 2> /dev/null)
      echo "$name read$side $(field read_s "$line")" >> "$samples"
      echo "$name reduce$side $(field reduce_s "$line")" >> "$samples"
      HALVERNDIR=$build/stage LC_ALL=C /usr/bin/time -f '%e %U %S %M' -o "$work/time" \
        "$build/stage/bin/zorvane" $files > /dev/null 2> "$work/stderr" ||
        { echo "compare: the tool of $build failed on $name:" >&2; tail -3 "$work/stderr" >&2; exit 1; }
      read -r wall user system kib < "$work/time"
      echo "$name wall$side $wall" >> "$samples"
      echo "$name cpu$side $(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" >> "$samples"
      echo "$name memory$side $(awk -v k="$kib" 'BEGIN { printf "%.1f", k / 1024 }')" >> "$samples"
      echo "$name needed$side $(grep '^Need' "$work/stderr" | md5sum | cut -c1-12)" >> "$samples"
    done
  done < "$shapes"
done

# Best / median of one measure of one shape.
summary() {
  local values
  mapfile -t values < <(awk -v n="$1" -v m="$2" '$1 == n && $2 == m { print $3 }' "$samples")
  echo "$(best_of "${values[@]}") / $(median_of "${values[@]}")"
}
echo
echo "| shape | measure (best / median) | before | after |"
echo "|---|---|---|---|"
while read -r name files; do
  echo "| $name | \`wc -l\`, s | $(summary "$name" wc) | |"
  for measure in "read:reading, s" "reduce:reduction, s" "wall:whole run, s" \
                 "cpu:processor time, s" "memory:peak memory, MiB"; do
    echo "| $name | ${measure#*:} | $(summary "$name" "${measure%%:*}0") | $(summary "$name" "${measure%%:*}1") |"
  done
  same=$(awk -v n="$name" '$1 == n && $2 ~ /^needed/ { print $3 }' "$samples" | sort -u | wc -l)
  echo "| $name | needed tests | $([ "$same" = 1 ] && echo same || echo DIFFERENT) | |"
done < "$shapes"
