#!/usr/bin/env bash
# Capture benchmark: the time zorvane-gcov takes to run a suite and capture
# each test's coverage, beside the suite run without coverage and one
# lcov --capture per test on the same build, and the minimal suites that
# both routes give.
#   bench/capture_bench.sh [calc [TESTS] | tinycalc]
# calc (the default): the calculator of tests/e2e/script-cases/gcov-capture,
# TESTS one-process tests (default 300). tinycalc: the bundled example and
# its unit and command-line test lists (examples/tinycalc/tests).
# Needs a built tree (ZORVANE_BUILD, default build) and lcov. Prints the
# figures; writes nothing in the repository.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
stage=${ZORVANE_BUILD:-$root/build}/stage
program=${1:-calc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME=$work   # lcov reads ~/.lcovrc

# Lays out src/ (the sources), build/ (built with --coverage), plain/ (built
# without) and suite.list, whose commands run from either build directory.
case $program in
  calc)
    tests=${2:-300}
    cp -R "$root/tests/e2e/script-cases/gcov-capture/src" src
    mkdir build plain
    (cd build && gcc --coverage -O0 -o calc ../src/calc.c ../src/absval.c)
    (cd plain && gcc -O0 -o calc ../src/calc.c ../src/absval.c)
    commands=("add 2 3" "sub 5 3" "div 6 3" "div 1 0" "abs -5" "abs 5" "mul 1 2" "")
    for ((i = 0; i < tests; ++i)); do
      printf 'test_%d\t./calc %s %d\n' "$i" "${commands[i % ${#commands[@]}]}" "$i"
    done > suite.list
    ;;
  tinycalc)
    cp -R "$root/examples/tinycalc" src
    mkdir build plain
    make -s -C build -f "$work/src/Makefile" SRC="$work/src" COVERAGE=--coverage
    make -s -C plain -f "$work/src/Makefile" SRC="$work/src"
    grep -h -v '^#' src/tests/unit.list src/tests/cli.list | grep . > suite.list
    tests=$(wc -l < suite.list)
    ;;
  *) echo "capture_bench.sh: unknown program $program (calc or tinycalc)" >&2; exit 2 ;;
esac

seconds() { local start=$EPOCHREALTIME; "$@"; echo "$EPOCHREALTIME - $start" | bc; }
run_plain() {
  (cd plain &&
    while IFS=$'\t' read -r name command; do sh -c "$command" > /dev/null 2>&1 || true; done) \
    < suite.list
}
run_lcov() {
  (cd build &&
    count=0 &&
    while IFS=$'\t' read -r name command; do
      find . -name '*.gcda' -delete
      sh -c "$command" > /dev/null 2>&1 || true
      lcov --quiet --capture --directory . --rc lcov_branch_coverage=1 \
        --test-name "$name" --output-file "../lcov/$name.info" 2> /dev/null
      count=$((count + 1))
      [ "$count" -lt "$1" ] || break
    done) < suite.list
}
capture() { (cd build && "$stage/bin/zorvane-gcov" "$@" 2> /dev/null); }
mkdir lcov
plain=$(seconds run_plain)
gcov1=$(seconds capture -j 1 -o ../gcov1.tio . ../suite.list)
gcov2=$(seconds capture -j 2 -o ../gcov2.tio . ../suite.list)
lcov_tests=$((tests < 50 ? tests : 50))
lcov=$(seconds run_lcov "$lcov_tests")

per_test() { echo "scale=4; 1000 * ($1) / $2" | bc; }
echo "program: $program; tests: $tests (lcov route: the first $lcov_tests)"
echo "suite without coverage, one after another: ${plain} s ($(per_test "$plain" "$tests") ms a test)"
echo "zorvane-gcov -j 1: ${gcov1} s; capture overhead $(per_test "$gcov1 - $plain" "$tests") ms a test"
echo "zorvane-gcov -j 2: ${gcov2} s; $(echo "scale=2; $gcov2 / $plain" | bc) x the suite without coverage"
echo "lcov --capture per test: $(per_test "$lcov" "$lcov_tests") ms a test," \
  "$(echo "scale=1; $(per_test "$lcov" "$lcov_tests") / $(per_test "$gcov1 - $plain" "$tests")" | bc)" \
  "x the overhead of zorvane-gcov"

# The same minimal suite by both routes, on the tests lcov captured.
head -n "$lcov_tests" suite.list > first.list
capture -o ../first.tio . ../first.list
"$stage/bin/zorvane-lcov" -b "$work/src" -o lcov.tio lcov/*.info
HALVERNDIR=$stage "$stage/bin/zorvane" first.tio --needed gcov.needed > /dev/null 2>&1
HALVERNDIR=$stage "$stage/bin/zorvane" lcov.tio --needed lcov.needed > /dev/null 2>&1
echo "minimal suite: $(wc -l < gcov.needed) tests by zorvane-gcov, $(wc -l < lcov.needed) by lcov and zorvane-lcov"
