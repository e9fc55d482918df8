#!/usr/bin/env bash
# Capture benchmark on a real program: jansson, the JSON library, built from
# Debian's source package with and without --coverage, and its own test
# suite (213 tests, each one process: a test program or json_process on one
# case directory) taken from its CTest list. Measures, in alternating turns:
# the suite without coverage, one test after another (the reference), and
# zorvane-gcov -j 1 and -j 2 capturing it; then, once (it takes minutes),
# one lcov --capture per test and zorvane-lcov (the LCOV route). Then checks
# that both routes give minimal suites of the same size that are true covers
# of the smallest size, and the ways in that must merge, refuse or warn:
# the suite captured in two halves, a wrong root, a second build at -O2.
#   bench/debian_capture.sh
# Run as root on a fresh machine, it adds a deb-src entry for the Debian
# archive that apt already uses and installs the Debian packages it needs.
# Environment:
#   ZORVANE_BUILD        the built tree whose stage/ is used (default build)
#   ZORVANE_GCOV         the zorvane-gcov to measure (default the staged one)
#   ZORVANE_GCOV_BASELINE  another zorvane-gcov (an earlier build) measured
#                        with -j 1 in the same turns, for a before and after
#   DEBIAN_BENCH_DIR     where the sources, builds and captures go
#                        (default bench/data/debian; kept between runs)
#   DEBIAN_BENCH_ROUNDS  turns of the cheap measurements (default 5)
# Prints the figures, keeps them in $DEBIAN_BENCH_DIR/report.txt and puts
# them in the section "Capture on a real program" of bench/RESULTS.md
# (DEBIAN_BENCH_RESULTS; empty: not written).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
stage=${ZORVANE_BUILD:-$root/build}/stage
capture_tool=${ZORVANE_GCOV:-$stage/bin/zorvane-gcov}
baseline_tool=${ZORVANE_GCOV_BASELINE:-}
work=${DEBIAN_BENCH_DIR:-$root/bench/data/debian}
rounds=${DEBIAN_BENCH_ROUNDS:-5}
results=${DEBIAN_BENCH_RESULTS-$root/bench/RESULTS.md}
package=jansson
export HALVERNDIR=$stage LC_ALL=C

fail() { echo "debian_capture.sh: $*" >&2; exit 1; }
for tool in "$capture_tool" "$stage/bin/zorvane-lcov" "$stage/bin/zorvane" $baseline_tool; do
  [ -x "$tool" ] || fail "$tool is missing: build the tree first (tools/test)"
done
# Absolute, since the runs go from other directories.
stage=$(cd "$stage" && pwd) capture_tool=$(realpath "$capture_tool")
[ -z "$baseline_tool" ] || baseline_tool=$(realpath "$baseline_tool")
mkdir -p "$work"
work=$(cd "$work" && pwd)
cd "$work"
export HOME=$work   # lcov reads ~/.lcovrc

install_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  [ "$(id -u)" -eq 0 ] || fail "install these Debian packages first: ${missing[*]}"
  apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" < /dev/null > /dev/null ||
    fail "apt-get could not install ${missing[*]}"
}

# apt-get source needs a deb-src entry; the machine's own entries for the
# Debian archive (one-line or deb822 style) give it, Types deb turned into
# deb-src, in a file of our own. Nothing is done when one already exists.
add_source_entries() {
  apt-get indextargets --format '$(CREATED_BY)' | grep -qx Sources && return 0
  [ "$(id -u)" -eq 0 ] || fail "add a deb-src entry for the Debian archive to apt's sources"
  python3 - /etc/apt/sources.list.d/zorvane-bench-src.sources <<'EOF'
import glob, re, sys
stanzas = []
for path in sorted(glob.glob('/etc/apt/sources.list.d/*.sources')):
    for stanza in re.split(r'\n\s*\n', open(path).read()):
        fields = {}
        for line in stanza.splitlines():
            if ':' in line and not line.startswith(('#', ' ', '\t')):
                key, value = line.split(':', 1)
                fields[key.strip().lower()] = value.strip()
        if ('deb' in fields.get('types', '').split() and 'debian' in fields.get('uris', '')
                and fields.get('enabled', 'yes').lower() != 'no'):
            stanzas.append(re.sub(r'(?m)^Types:.*$', 'Types: deb-src', stanza.strip()))
for path in ['/etc/apt/sources.list'] + sorted(glob.glob('/etc/apt/sources.list.d/*.list')):
    try:
        lines = open(path).read().splitlines()
    except OSError:
        continue
    for line in lines:
        match = re.match(r'\s*deb\s+((\[[^]]*\]\s+)?(\S+)\s+(\S+)\s+(.+))$', line)
        if match and 'debian' in match.group(3):
            options = match.group(2) or ''
            stanzas.append('Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s%s' % (
                match.group(3), match.group(4), match.group(5),
                '\nSigned-By: ' + options[options.index('signed-by=') + 10:].split()[0]
                    .rstrip(']') if 'signed-by=' in options else ''))
if not stanzas:
    sys.exit('debian_capture.sh: no entry for a Debian archive in apt\'s sources')
open(sys.argv[1], 'w').write('\n\n'.join(stanzas) + '\n')
EOF
  apt-get update -qq || fail "apt-get update failed after adding the deb-src entry"
}

# build_tree NAME CFLAGS: jansson's own CMake build in build-NAME of the
# source tree (as cmake -B build is usually run), its test programs
# included, documentation and examples left out.
build_tree() {
  local dir=$source/build-$1 flags=$2
  [ -f "$dir/built" ] && return 0
  { cmake -S "$source" -B "$dir" -DCMAKE_C_FLAGS="$flags" \
      -DJANSSON_BUILD_DOCS=OFF -DJANSSON_EXAMPLES=OFF &&
    make -C "$dir" -j2; } > "$1.log" 2>&1 || { cat "$1.log" >&2; fail "building $dir failed"; }
  touch "$dir/built"
}

# The suite as CTest runs it, one test a line: name, tab, command, with the
# build directory's paths made relative so that the same list runs from any
# of the builds. (jansson's CMake file hands the API tests the words
# WORKING_DIRECTORY and a path as arguments, which they ignore.)
write_test_list() {
  (cd "$coverage" && ctest --show-only=json-v1) | python3 -c '
import json, os, shlex, sys
build = sys.argv[1]
def local(word):
    return "." + word[len(build):] if word == build or word.startswith(build + "/") else word
for test in json.load(sys.stdin)["tests"]:
    command = " ".join(shlex.quote(local(word)) for word in test["command"])
    for item in test.get("properties", []):
        if item["name"] == "WORKING_DIRECTORY" and item["value"] != build:
            command = "cd %s && %s" % (shlex.quote(os.path.relpath(item["value"], build)), command)
    print("%s\t%s" % (test["name"], command))
' "$coverage" > suite.list
}

install_packages dpkg-dev cmake make gcc lcov python3 glpk-utils
add_source_entries
if ! source=$(find "$work" -maxdepth 1 -type d -name "$package-*" | grep .); then
  apt-get source -qq "$package" > source.log 2>&1 || { cat source.log >&2; fail "apt-get source failed"; }
  source=$(find "$work" -maxdepth 1 -type d -name "$package-*")
fi
coverage=$source/build-coverage plain=$source/build-plain coverage_o2=$source/build-coverage-o2
build_tree coverage --coverage
build_tree plain ""
build_tree coverage-o2 "--coverage -O2"
write_test_list
tests=$(wc -l < suite.list)
find "$source" -name '*.gcda' -delete

microseconds() { local now=${EPOCHREALTIME/./}; echo "${now#0}"; }
# Runs the suite without coverage as zorvane-gcov runs a test (sh -c, the
# standard streams on /dev/null); writes one line per test to plain.times:
# its name and its time.
run_plain() {
  local name command start
  (cd "$plain" &&
    while IFS=$'\t' read -r name command; do
      start=$(microseconds)
      sh -c "$command" < /dev/null > /dev/null 2>&1 || true
      echo "$name $(($(microseconds) - start))"
    done) < suite.list > plain.times
}
# capture JOBS OUTPUT [TOOL BUILD LIST]: one zorvane-gcov run from a build
# directory, its messages kept beside OUTPUT.
capture() {
  (cd "${4:-$coverage}" && "${3:-$capture_tool}" -j "$1" -o "$work/$2" . "$work/${5:-suite.list}") \
    2> "$2.err"
}
# seconds COMMAND...: runs it, prints its wall time and its processor
# time (user and system, its own and that of every process it waited for),
# which tells more than the wall time on a busy machine.
seconds() {
  local TIMEFORMAT='%R %U %S'
  { time "$@"; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}
duration_sum() { awk '/^DT/ { sum += $(NF - 1) } END { printf "%.3f\n", sum }' "$1"; }
# Best and median of the numbers on standard input.
best_median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3f %.3f\n", v[1], v[int((NR + 1) / 2)] }'; }
median() { best_median | cut -d' ' -f2; }

: > turns.txt
for ((turn = 1; turn <= rounds; ++turn)); do
  read -r plain_time plain_cpu <<< "$(seconds run_plain)"
  read -r whole1 whole1_cpu <<< "$(seconds capture 1 gcov1.tio)"
  read -r whole2 whole2_cpu <<< "$(seconds capture 2 gcov2.tio)"
  baseline="- - -"
  if [ -n "$baseline_tool" ]; then
    read -r base base_cpu <<< "$(seconds capture 1 baseline.tio "$baseline_tool")"
    baseline="$base $(duration_sum baseline.tio) $base_cpu"
  fi
  echo "$turn $plain_time $whole1 $(duration_sum gcov1.tio) $whole2" \
    "$plain_cpu $whole1_cpu $whole2_cpu $baseline" >> turns.txt
done

# The LCOV route, once: each test from a clean build tree, then one
# lcov --capture; the time of the clean-up and the capture is the overhead.
rm -rf lcov && mkdir lcov
count=0
(cd "$coverage" &&
  while IFS=$'\t' read -r name command; do
    count=$((count + 1))
    tracefile=$(printf '%s/lcov/%04d.info' "$work" "$count")
    start=$(microseconds)
    find . -name '*.gcda' -delete
    middle=$(microseconds)
    sh -c "$command" < /dev/null > /dev/null 2>&1 || true
    run=$(microseconds)
    lcov --quiet --capture --directory . --rc lcov_branch_coverage=1 \
      --output-file "$tracefile" 2> /dev/null
    # lcov's --test-name would rewrite the names.
    sed -i "s|^TN:.*|TN:$name|" "$tracefile"
    echo "$name $((run - middle)) $((middle - start + $(microseconds) - run))"
  done) < suite.list > lcov.times
find "$coverage" -name '*.gcda' -delete
"$stage/bin/zorvane-lcov" -b "$source" -o lcov.tio lcov/*.info 2> lcov.err

# Minimal suites of both routes, checked on the coverage.
minimal() { "$stage/bin/zorvane" "$@" > /dev/null 2>> zorvane.err; }
: > zorvane.err
minimal gcov1.tio --needed gcov.needed
minimal lcov.tio --needed lcov.needed
gcov_check=$("$root/bench/check_cover.sh" gcov.needed gcov1.tio || true)
lcov_check=$("$root/bench/check_cover.sh" lcov.needed lcov.tio || true)
keys() { grep -h '^# FT [0-9A-F]* is ' "$@" | sort -u; }
# The keys two files share, and how many of them name the same source.
shared_keys() {
  echo "$(comm -12 <(keys "$1" | cut -d' ' -f3) <(keys "$2" | cut -d' ' -f3) | wc -l) keys" \
    "in both files, $(comm -12 <(keys "$1") <(keys "$2") | wc -l) naming the same source"
}

# The ways in: the suite in two halves, a wrong root, a second build at -O2.
half=$((tests / 2))
head -n "$half" suite.list > first.list
tail -n "+$((half + 1))" suite.list > second.list
capture 1 first.tio "" "$coverage" first.list
capture 1 second.tio "" "$coverage" second.list
capture 1 second-o2.tio "" "$coverage_o2" second.list
"$stage/bin/zorvane" first.tio second.tio --needed halves.needed > /dev/null 2> halves.err ||
  echo "zorvane status $? on the halves" >> halves.err
tracefiles=(lcov/*.info)
"$stage/bin/zorvane-lcov" -b "$source" -o first-lcov.tio "${tracefiles[@]:0:half}" 2>> lcov.err
"$stage/bin/zorvane-lcov" -b "$source" -o second-lcov.tio "${tracefiles[@]:half}" 2>> lcov.err
"$stage/bin/zorvane" first-lcov.tio second-lcov.tio --needed halves-lcov.needed > /dev/null \
  2> halves-lcov.err || echo "zorvane status $? on the halves" >> halves-lcov.err
"$stage/bin/zorvane" first.tio second-o2.tio > /dev/null 2> mixed.err ||
  echo "zorvane status $? on the mixed builds" >> mixed.err
"$stage/bin/zorvane" gcov1.tio lcov.tio > /dev/null 2> routes.err ||
  echo "zorvane status $? on both routes' files" >> routes.err
wrong_root=/usr/share
set +e
(cd "$coverage" && "$capture_tool" --root "$wrong_root" -o "$work/wrong-root.tio" . "$work/first.list") \
  > /dev/null 2> wrong-root.err
gcov_wrong=$?
"$stage/bin/zorvane-lcov" -b "$wrong_root" -o wrong-base.tio lcov/0001.info > /dev/null 2> wrong-base.err
lcov_wrong=$?
# The first test's tracefile from the -O2 build, converted with the -O0 one.
(cd "$coverage_o2" && find . -name '*.gcda' -delete &&
  sh -c "$(head -n 1 "$work/suite.list" | cut -f2-)" < /dev/null > /dev/null 2>&1
  lcov --quiet --capture --directory . --rc lcov_branch_coverage=1 \
    --output-file "$work/o2.info" 2> /dev/null
  find . -name '*.gcda' -delete)
"$stage/bin/zorvane-lcov" -b "$source" -o mixed-lcov.tio lcov/0001.info o2.info > /dev/null \
  2> mixed-lcov.err
lcov_mixed=$?
set -e

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
yes_no() { awk "BEGIN { print ($1) ? \"yes\" : \"no\" }"; }
column() { cut -d' ' -f"$1" turns.txt | best_median; }
read -r plain_best plain_median <<< "$(column 2)"
read -r whole1_best whole1_median <<< "$(column 3)"
read -r whole2_best whole2_median <<< "$(column 5)"
read -r plain_cpu_best plain_cpu_median <<< "$(column 6)"
read -r whole1_cpu_best whole1_cpu_median <<< "$(column 7)"
read -r whole2_cpu_best whole2_cpu_median <<< "$(column 8)"
# Per turn, the capture's time beyond the tests' own (their DT durations),
# and beyond the suite without coverage, over the tests.
# Per-test figures in milliseconds.
read -r overhead_best overhead_own <<< \
  "$(awk -v n="$tests" '{ print 1000 * ($3 - $4) / n }' turns.txt | best_median)"
overhead_plain=$(awk -v n="$tests" '{ print 1000 * ($3 - $2) / n }' turns.txt | median)
overhead_cpu=$(awk -v n="$tests" '{ print 1000 * ($7 - $6) / n }' turns.txt | median)
own_median=$(cut -d' ' -f2 plain.times | awk '{ print $1 / 1000 }' | median)
dt_median=$(awk '/^DT/ { print 1000 * $(NF - 1) }' gcov1.tio | median)
lcov_median=$(cut -d' ' -f3 lcov.times | awk '{ print $1 / 1000 }' | median)
lcov_run_median=$(cut -d' ' -f2 lcov.times | awk '{ print $1 / 1000 }' | median)
failed=$(grep -c '^DT failed' gcov1.tio || true)
warnings() { grep -i 'warning' "$1" | grep -c -i "${2:-.}" || true; }

{
  echo "program: $package $(basename "$source" | sed "s/^$package-//") (Debian source package)," \
    "built with CMake at -O0; $tests tests, $failed failing under zorvane-gcov"
  echo "zorvane-gcov: $capture_tool"
  echo "machine: $(nproc) cores, load average at the end $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "turns: $rounds, alternating; times as best / median"
  echo
  echo "suite without coverage, one after another: $plain_best / $plain_median s;" \
    "a test's own time, median: $own_median ms (under coverage, from DT: $dt_median ms)"
  echo "zorvane-gcov -j 1: $whole1_best / $whole1_median s;" \
    "overhead a test: $overhead_best / $overhead_own ms over the tests' DT times," \
    "median $overhead_plain ms over the suite without coverage"
  echo "zorvane-gcov -j 2: $whole2_best / $whole2_median s;" \
    "$(ratio "$whole2_best" "$plain_best") / $(ratio "$whole2_median" "$plain_median")" \
    "x the suite without coverage"
  echo "processor time (user + system): suite $plain_cpu_best / $plain_cpu_median s," \
    "-j 1 $whole1_cpu_best / $whole1_cpu_median s, -j 2 $whole2_cpu_best / $whole2_cpu_median s;" \
    "the capture's beyond the suite's, a test: median $overhead_cpu ms"
  if [ -n "$baseline_tool" ]; then
    echo "baseline $baseline_tool -j 1: $(column 9 | sed 's| | / |') s;" \
      "overhead a test: $(awk -v n="$tests" '{ print 1000 * ($9 - $10) / n }' turns.txt |
        best_median | sed 's| | / |') ms over the tests' DT times; processor time" \
      "$(column 11 | sed 's| | / |') s, beyond the suite's a test: median" \
      "$(awk -v n="$tests" '{ print 1000 * ($11 - $6) / n }' turns.txt | median) ms"
  fi
  echo "lcov --capture per test (one turn): overhead a test, median $lcov_median ms" \
    "(the test itself: $lcov_run_median ms);" \
    "$(ratio "$lcov_median" "$overhead_own") x the median overhead of zorvane-gcov -j 1"
  echo
  echo "targets, on the medians:" \
    "overhead a test at most the test's own time: $(yes_no "$overhead_own <= $own_median")" \
    "(at most its time under coverage: $(yes_no "$overhead_own <= $dt_median"));" \
    "lcov's at least 10 x: $(yes_no "$lcov_median >= 10 * $overhead_own");" \
    "-j 2 within 1.3 x the suite: $(yes_no "$whole2_median <= 1.3 * $plain_median");" \
    "same minimal size: $(yes_no "$(wc -l < gcov.needed) == $(wc -l < lcov.needed)")"
  echo
  echo "minimal suite: $(wc -l < gcov.needed) tests by zorvane-gcov," \
    "$(wc -l < lcov.needed) by lcov and zorvane-lcov"
  echo "  zorvane-gcov route: $gcov_check" | paste -sd' '
  echo "  lcov route: $lcov_check" | paste -sd' '
  echo "  FT keys: $(keys gcov1.tio | wc -l) by zorvane-gcov, $(keys lcov.tio | wc -l) by zorvane-lcov," \
    "$(comm -12 <(keys gcov1.tio) <(keys lcov.tio) | wc -l) the same"
  echo "  both routes' files in one run: $(warnings routes.err) warnings," \
    "$(warnings routes.err fingerprint) on fingerprints"
  echo
  echo "two halves ($half + $((tests - half)) tests) in one run:" \
    "$(wc -l < halves.needed 2> /dev/null || echo -) needed; $(shared_keys first.tio second.tio);" \
    "$(warnings halves.err) warnings"
  echo "the same by the lcov route: $(wc -l < halves-lcov.needed 2> /dev/null || echo -) needed;" \
    "$(shared_keys first-lcov.tio second-lcov.tio); $(warnings halves-lcov.err) warnings" \
    "($(warnings halves-lcov.err fingerprint) on fingerprints)"
  echo "wrong root ($wrong_root): zorvane-gcov status $gcov_wrong," \
    "$(test -e wrong-root.tio && echo "output written" || echo "no output"):" \
    "$(head -n 1 wrong-root.err)"
  echo "wrong base ($wrong_root): zorvane-lcov status $lcov_wrong," \
    "$(test -e wrong-base.tio && echo "output written" || echo "no output"):" \
    "$(head -n 1 wrong-base.err)"
  echo "second half from the -O2 build: $(grep -i -m 1 warning mixed.err || echo "no warning")"
  echo "a tracefile of each build in one zorvane-lcov conversion: status $lcov_mixed," \
    "$(test -e mixed-lcov.tio && echo "output written" || echo "no output"):" \
    "$(head -n 1 mixed-lcov.err)"
} | tee report.txt

[ -n "$results" ] || exit 0
# The section of the results file: replaced, or added at the end.
section=$(
  echo "## Capture on a real program"
  echo
  echo "Written by \`bench/debian_capture.sh\` on $(date -u '+%Y-%m-%d %H:%M') UTC; see" \
    "\`bench/README.md\`. Wall-clock times; a test's overhead is the capture's time beyond" \
    "the tests' own, over the number of tests."
  echo
  echo '```'
  cat report.txt
  echo '```'
)
python3 - "$results" "$section" <<'EOF'
import re, sys
path, section = sys.argv[1], sys.argv[2]
try:
    text = open(path).read().rstrip('\n')
except FileNotFoundError:
    text = ''
pattern = re.compile(r'^## Capture on a real program\n.*?(?=^## |\Z)', re.M | re.S)
if pattern.search(text):
    text = pattern.sub(lambda match: section + '\n\n', text).rstrip('\n')
else:
    text = (text + '\n\n' if text else '') + section
open(path, 'w').write(text + '\n')
EOF
echo "wrote $results"
