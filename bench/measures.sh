# Helpers sourced by the benchmark scripts.

# The value of `key=value` in a line of the driver's measurements.
field() { sed -n "s/.* $1=\([^ ]*\).*/\1/p" <<< " $2" | tail -1; }

best_of() { printf '%s\n' "$@" | sort -g | head -1; }
median_of() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

seconds_of() {  # runs a command, prints its wall time in seconds
  local start end
  start=$(date +%s%N); "$@" > /dev/null; end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}
