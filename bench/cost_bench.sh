#!/usr/bin/env bash
# The cheapest cover on the generated suites, with skewed test times (most
# tests 1-50 ms, one in ten 0.5-30 s, from the test number): the time of
# the count-optimal cover beside that of the cost-optimal one, and the
# cost search's time beside CBC's on the same weighted set cover.
#
#   bench/cost_bench.sh [PRESET...]     (default: all presets of run_bench.sh)
# Environment: BENCH_BUILD (build-bench), BENCH_DATA (bench/data),
#   BENCH_COUNT_SECONDS (time limit of the count search, 60),
#   BENCH_CBC_SECONDS (60), BENCH_SEARCH_TIMEOUT (300).
# Prints a Markdown table on the standard output; run_bench.sh builds the
# driver and generates the suites.
set -euo pipefail

bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$bench_dir/measures.sh"
root=$(dirname "$bench_dir")
build=${BENCH_BUILD:-$root/build-bench}
data=${BENCH_DATA:-$bench_dir/data}
count_seconds=${BENCH_COUNT_SECONDS:-60}
cbc_seconds=${BENCH_CBC_SECONDS:-60}
timeout_seconds=${BENCH_SEARCH_TIMEOUT:-300}
driver=$build/bench/zorvane_bench
presets=("$@")
[ ${#presets[@]} -gt 0 ] ||
  presets=(s50 s150 s200 s500 rerun300 s5000 s5000x400 s20000 rand60x120 rand70x160 rand80x200 rand150x400)
command -v cbc > /dev/null || { echo "cost_bench: install coinor-cbc" >&2; exit 1; }
[ -x "$driver" ] || { echo "cost_bench: build $driver first (run_bench.sh does)" >&2; exit 1; }
python3 "$bench_dir/generate_suite.py" --out "$data" "${presets[@]}" >&2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

seconds() { awk -v us="$1" 'BEGIN { if (us == "") print "-"; else printf "%.3f", us / 1e6 }'; }

echo "| instance | mode | suite s | count-optimal s | cost-optimal s | saved | count search s | cost search s | CBC s (its optimum + mandatory, s) |"
echo "|---|---|--:|--:|--:|--:|--:|--:|--:|"
for preset in "${presets[@]}"; do
  files=("$data/$preset"/*.tio)
  for mode in T default; do
    options=()
    [ $mode = T ] && options=(-T)
    lp=$work/$preset.lp
    line=$(timeout "$timeout_seconds" "$driver" --costs "${options[@]}" --limit-seconds "$count_seconds" \
      --export-cost-lp "$lp" "${files[@]}" || echo " status=timeout")
    count=$(field count_optimal_cost_us "$line")
    cost=$(field cost_optimal_cost_us "$line")
    [ "$(field count_completed "$line")" = 1 ] || count="$count (stopped)"
    saved=$(awk -v a="${count%% *}" -v b="$cost" 'BEGIN { if (a > 0 && b != "") printf "%.1f%%", 100 * (a - b) / a; else print "-" }')
    cbc_cell=-
    if [ $mode = T ] && [ -f "$lp" ]; then
      cbc "$lp" sec "$cbc_seconds" solve quit > "$work/cbc.txt" 2>&1 || true
      optimum=$(sed -n 's/^Objective value: *\([0-9.]*\).*/\1/p' "$work/cbc.txt" | head -1)
      wall=$(sed -n 's/^Time (Wallclock seconds): *//p' "$work/cbc.txt" | head -1)
      total=$(awk -v o="$optimum" -v m="$(field mandatory_cost_us "$line")" 'BEGIN { printf "%.0f", o + m }')
      cbc_cell="$wall ($(seconds "$total"))"
    fi
    echo "| $preset | $mode | $(seconds "$(field suite_cost_us "$line")") | $(seconds "${count%% *}")${count#"${count%% *}"} | $(seconds "$cost") | $saved | $(field count_search_s "$line") | $(field cost_search_s "$line") | $cbc_cell |"
  done
done
