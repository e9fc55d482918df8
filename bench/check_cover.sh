#!/usr/bin/env bash
# Checks a needed list against the coverage it was chosen from, on the
# coverage itself rather than on the tool's word:
#   bench/check_cover.sh NEEDED FILE.tio...
# Prints two lines: whether the needed tests together reach every item that
# the whole suite reaches (a true cover), and the size of the smallest cover
# that glpsol finds (an integer program over the same coverage; "-" when
# glpsol is missing) beside the needed list's size. Exits 1 when the cover
# is not true or not the smallest.
set -eu
needed=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every item each test reached: file, test name as zorvane prints it, item.
awk 'FNR == 1 { test = ""; ft = 0; dc = 0 }
     /^NT/ { test = substr($0, 4); next }
     /^FT / { ft = $2; next }
     /^DC / { dc = $2; next }
     /^T. / && test != "" { print FILENAME "\t" test "\t" ft ":" dc ":" substr($0, 2, 1) ":" $2 }' \
  "$@" > "$work/items"
cut -f3 "$work/items" | sort -u > "$work/all"
awk -F'\t' 'NR == FNR { needed[$2 "\t" $3] = 1; next }
            ($1 "\t" $2) in needed { print $3 }' "$needed" "$work/items" | sort -u > "$work/chosen"
status=0
if cmp -s "$work/all" "$work/chosen"; then
  echo "true cover: yes ($(wc -l < "$work/all") items)"
else
  echo "true cover: no, $(comm -23 "$work/all" "$work/chosen" | wc -l) of $(wc -l < "$work/all") items missed"
  status=1
fi

size=$(wc -l < "$needed")
if ! command -v glpsol > /dev/null; then
  echo "smallest cover: - (glpsol missing); needed list: $size"
  exit "$status"
fi
# One 0-1 variable per test, one constraint per distinct set of tests that
# reach an item.
awk -F'\t' '{ test = $1 "\t" $2
              if (!(test in id)) id[test] = ++tests
              if (index(reached[$3] " ", " x" id[test] " ") == 0)
                reached[$3] = reached[$3] " x" id[test] }
            END {
              print "Minimize"; line = " size:"
              for (i = 1; i <= tests; i++) line = line " + x" i
              print line; print "Subject To"
              for (item in reached) rows[reached[item]] = 1
              for (row in rows) { gsub(/ x/, " + x", row); print " " substr(row, 4) " >= 1" }
              print "Binary"; for (i = 1; i <= tests; i++) print " x" i
              print "End" }' "$work/items" > "$work/cover.lp"
glpsol --lp "$work/cover.lp" -o "$work/cover.solution" > "$work/glpsol.log" ||
  { cat "$work/glpsol.log" >&2; exit 1; }
optimum=$(awk '/^Objective:/ { print $4 }' "$work/cover.solution")
echo "smallest cover: $optimum by glpsol; needed list: $size"
[ "$optimum" = "$size" ] || status=1
exit "$status"
