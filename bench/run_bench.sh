#!/usr/bin/env bash
# Runs the benchmarks over the generated suites and writes a results table.
#
#   bench/run_bench.sh            all presets, writes bench/RESULTS.md
#   bench/run_bench.sh --quick    small presets only, writes bench/data/RESULTS-quick.md
#
# Options:
#   --rev REV      build and measure that commit (exported to the build
#                  directory) instead of the working tree
#   --out FILE     where to write the table
#   --only NAMES   comma-separated presets to run (after generating them)
# Environment:
#   BENCH_BUILD              build directory (default build-bench)
#   BENCH_DATA               generated suites and raw logs (default bench/data)
#   BENCH_SEARCH_TIMEOUT     seconds before a run of the tool's search is killed (60)
#   BENCH_REFERENCE_SECONDS  limit of the reference search (60, quick: 20)
#   BENCH_REFERENCE_NODES    node limit of the reference search (1000000000)
#   BENCH_CBC_SECONDS        CBC's time limit (60)
#   BENCH_READING_ROUNDS     turns of `wc -l` and of the driver's reading (5)
#
# Heavy jobs run one after another: the numbers are only comparable on an
# otherwise quiet machine.
set -euo pipefail

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$bench_dir/measures.sh"
root=$(dirname "$bench_dir")
build=${BENCH_BUILD:-$root/build-bench}
data=${BENCH_DATA:-$bench_dir/data}
search_timeout=${BENCH_SEARCH_TIMEOUT:-60}
reading_rounds=${BENCH_READING_ROUNDS:-5}
reference_nodes=${BENCH_REFERENCE_NODES:-1000000000}
cbc_seconds=${BENCH_CBC_SECONDS:-60}

quick=0 rev='' out='' only=''
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --rev) rev=$2; shift ;;
    --out) out=$2; shift ;;
    --only) only=$2; shift ;;
    -h|--help) sed -n '2,21p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run_bench: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done

if [ $quick = 1 ]; then
  presets=(s50 s150 s200 s500 rerun300 rand60x120 rand70x160)
  reference_seconds=${BENCH_REFERENCE_SECONDS:-20}
  out=${out:-$data/RESULTS-quick.md}
else
  presets=(s50 s150 s200 s500 rerun300 s5000 s5000x400 s20000 rand60x120 rand70x160 rand80x200 rand150x400)
  reference_seconds=${BENCH_REFERENCE_SECONDS:-60}
  out=${out:-$bench_dir/RESULTS.md}
fi
[ -n "$only" ] && IFS=, read -r -a presets <<< "$only"

log() { echo "run_bench: $*" >&2; }

# --- tools -----------------------------------------------------------------
need_packages=()
command -v cbc > /dev/null || need_packages+=(coinor-cbc)
[ -x /usr/bin/time ] || need_packages+=(time)
if [ ${#need_packages[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    log "missing Debian packages: sudo apt-get install -y ${need_packages[*]}"; exit 1
  fi
  log "installing ${need_packages[*]}"
  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    --no-install-recommends "${need_packages[@]}" > /dev/null
fi

# --- build -----------------------------------------------------------------
commit=$(git -C "$root" rev-parse "${rev:-HEAD}^{commit}")
tree_state=$commit
if [ -z "$rev" ] && [ -n "$(git -C "$root" status --porcelain -- src CMakeLists.txt bench)" ]; then
  tree_state="$commit + uncommitted changes"
fi
build=$(BENCH_BUILD=$build "$bench_dir/build_rev.sh" ${rev:+"$rev"})
driver=$build/bench/zorvane_bench
tool=$build/stage/bin/zorvane
stage=$build/stage

# --- suites ----------------------------------------------------------------
python3 "$bench_dir/generate_suite.py" --out "$data" "${presets[@]}"

# --- runs ------------------------------------------------------------------
mkdir -p "$data/runs"
raw=$data/runs/raw-$(date +%Y%m%d-%H%M%S).txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

record() { echo "$*" >> "$raw"; }

# Runs the driver under a timeout; prints its line, ending in status=timeout
# when it was killed (its line then holds what it had measured).
drive() {
  local limit=$1; shift
  local rc=0
  timeout "$limit" "$driver" "$@" > "$work/line" 2> "$work/stderr" || rc=$?
  if [ $rc = 124 ]; then
    echo "$(tr -d '\n' < "$work/line") status=timeout"
  elif [ $rc != 0 ]; then
    echo "$(tr -d '\n' < "$work/line") status=failed rc=$rc"
    head -5 "$work/stderr" >&2
  else
    tr -d '\n' < "$work/line"; echo
  fi
}

record "run=machine commit=$commit tree=\"$tree_state\" nproc=$(nproc)" \
  "cpu=\"$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)\"" \
  "memory_gib=$(awk '/MemTotal/ {printf "%.1f", $2 / 1048576}' /proc/meminfo)" \
  "load=\"$(cut -d' ' -f1-3 /proc/loadavg)\" date=\"$(date -u '+%Y-%m-%d %H:%M UTC')\"" \
  "cbc=\"$(cbc -version 2>/dev/null | sed -n 's/^Version: *\([^ ]*\).*/\1/p' | head -1)\"" \
  "mode=$([ $quick = 1 ] && echo quick || echo full) search_timeout=$search_timeout" \
  "reference_seconds=$reference_seconds reference_nodes=$reference_nodes cbc_seconds=$cbc_seconds" \
  "reading_rounds=$reading_rounds"

for preset in "${presets[@]}"; do
  dir=$data/$preset
  files=("$dir"/*.tio)
  kind=$(sed -n '1s/.* kind=\([a-z]*\).*/\1/p' "$dir/preset.txt")
  log "$preset ($kind, ${#files[@]} files)"

  # The same files, read from the page cache by both, in turns, so that
  # both meet the machine in the same states: the best and the median of
  # each, the driver's line of its best reading.
  cat "${files[@]}" > /dev/null
  wc_lines=$(cat "${files[@]}" | wc -l)
  wc_samples=() read_samples=() best_read_line=
  for ((round = 0; round < reading_rounds; ++round)); do
    wc_samples+=("$(seconds_of wc -l "${files[@]}")")
    line=$(drive "$search_timeout" --no-search "${files[@]}")
    read_samples+=("$(field read_s "$line")")
    if [ -z "$best_read_line" ] ||
       awk -v a="$(field read_s "$line")" -v b="$(field read_s "$best_read_line")" 'BEGIN { exit !(a < b) }'; then
      best_read_line=$line
    fi
  done
  record "run=wc instance=$preset kind=$kind files=${#files[@]} lines=$wc_lines" \
    "seconds=$(best_of "${wc_samples[@]}") median_seconds=$(median_of "${wc_samples[@]}")"
  record "run=read instance=$preset $best_read_line median_read_s=$(median_of "${read_samples[@]}")"

  modes=(default)
  [ "$kind" = realistic ] && modes+=(T F2)
  lp=$work/$preset.lp
  reference_done=0
  for mode in "${modes[@]}"; do
    case $mode in
      default) options=() ;;
      T) options=(-T) ;;
      F2) options=(-F 2) ;;
    esac
    export_options=()
    [ "$mode" = default ] && export_options=(--export-lp "$lp")
    # The fewest-files problem of the covers the search found, where it
    # counted files.
    file_lp=$work/$preset.$mode.files.lp
    rm -f "$file_lp"
    [ "$kind" = realistic ] && [ "$mode" != T ] && export_options+=(--export-file-lp "$file_lp")
    line=$(drive "$search_timeout" "${options[@]}" "${export_options[@]}" "${files[@]}")
    record "run=search instance=$preset mode=$mode $line"
    search_status=$(field status "$line")
    free_files=$(field file_lp_free_files "$line")

    # The plain reference search, bounded; with -T and -F 2 only where it
    # finished in the default mode.
    if [ "$mode" = default ] || [ $reference_done = 1 ]; then
      line=$(drive $((reference_seconds * 3 + 60)) --reference --limit-seconds "$reference_seconds" \
        --limit-nodes "$reference_nodes" "${options[@]}" "${files[@]}")
      record "run=reference instance=$preset mode=$mode $line"
      [ "$mode" = default ] && [ "$(field completed "$line")" = 1 ] && reference_done=1
    fi

    # CBC on the set cover the default run exported.
    if [ "$mode" = default ] && [ -f "$lp" ]; then
      cbc "$lp" sec "$cbc_seconds" solve quit > "$work/cbc.txt" 2>&1 || true
      record "run=cbc instance=$preset" \
        "result=\"$(sed -n 's/^Result - //p' "$work/cbc.txt" | head -1)\"" \
        "optimum=$(sed -n 's/^Objective value: *\([0-9.]*\).*/\1/p' "$work/cbc.txt" | head -1)" \
        "cpu_s=$(sed -n 's/^Time (CPU seconds): *//p' "$work/cbc.txt" | head -1)" \
        "wall_s=$(sed -n 's/^Time (Wallclock seconds): *//p' "$work/cbc.txt" | head -1)" \
        "nodes=$(sed -n 's/^Enumerated nodes: *//p' "$work/cbc.txt" | head -1)"
    fi

    # CBC on the fewest-files problem, beside the search's file count.
    if [ -f "$file_lp" ]; then
      cbc "$file_lp" sec "$cbc_seconds" solve quit > "$work/cbc.txt" 2>&1 || true
      record "run=cbcfiles instance=$preset mode=$mode" \
        "free_files=$free_files" \
        "result=\"$(sed -n 's/^Result - //p' "$work/cbc.txt" | head -1)\"" \
        "optimum=$(sed -n 's/^Objective value: *\([0-9.]*\).*/\1/p' "$work/cbc.txt" | head -1)" \
        "cpu_s=$(sed -n 's/^Time (CPU seconds): *//p' "$work/cbc.txt" | head -1)" \
        "wall_s=$(sed -n 's/^Time (Wallclock seconds): *//p' "$work/cbc.txt" | head -1)"
    fi

    # The tool itself, end to end, where its search finished in the driver.
    if [ "$search_status" = ok ]; then
      rc=0
      HALVERNDIR=$stage LC_ALL=C /usr/bin/time -o "$work/time.txt" -f "wall_s=%e rss_kib=%M" \
        timeout "$search_timeout" "$tool" "${options[@]}" "${files[@]}" \
        > /dev/null 2> "$work/tool.txt" || rc=$?
      record "run=tool instance=$preset mode=$mode rc=$rc $(tail -1 "$work/time.txt")" \
        "needed=$(grep -c '^Need tst' "$work/tool.txt" || true)"
    else
      record "run=tool instance=$preset mode=$mode rc=skipped"
    fi
  done
done

# The capture benchmarks keep their own sections at the end of the file.
capture_sections=$(if [ -f "$out" ]; then sed -n '/^## Capture/,$p' "$out"; fi)
python3 "$bench_dir/write_results.py" "$raw" > "$out"
log "the cheapest cover, beside CBC"
{ printf '\n## Cheapest cover\n\nBy `bench/cost_bench.sh`: see `bench/README.md`.\n\n'
  BENCH_BUILD=$build BENCH_DATA=$data BENCH_CBC_SECONDS=$cbc_seconds "$bench_dir/cost_bench.sh" "${presets[@]}"
} >> "$out"
[ -z "$capture_sections" ] || printf '\n%s\n' "$capture_sections" >> "$out"
log "raw measurements: $raw"
log "wrote $out"
