#!/bin/sh
# Records the bundled coverage files afresh: builds tinycalc with gcc
# --coverage in a temporary directory and runs its three test executions
# under zorvane-gcov, each into its own .tio file:
#   tinycalc-1-unit.tio     the unit tests (tests/unit.list)
#   tinycalc-2-cli.tio      the command-line tests (tests/cli.list)
#   tinycalc-3-nightly.tio  the nightly execution in strict math
#                           (tests/nightly.list, TINYCALC_STRICT=1)
# Usage: examples/capture.sh [OUTPUT_DIR]    (default: this folder)
# zorvane-gcov is taken from $HALVERNDIR/bin, else from the PATH.
set -eu
examples=$(cd "$(dirname "$0")" && pwd)
source_dir=$examples/tinycalc
output_dir=$(cd "${1:-$examples}" && pwd)

if [ -n "${HALVERNDIR:-}" ] && [ -x "$HALVERNDIR/bin/zorvane-gcov" ]; then
  capture=$HALVERNDIR/bin/zorvane-gcov
elif capture=$(command -v zorvane-gcov); then
  :
else
  echo "capture.sh: zorvane-gcov is neither in \$HALVERNDIR/bin nor on the PATH" >&2
  exit 1
fi

build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
make -s -C "$build" -f "$source_dir/Makefile" SRC="$source_dir" COVERAGE=--coverage

# The test lists run from the build directory, where the programs are.
cd "$build"
"$capture" --root "$source_dir" -o "$output_dir/tinycalc-1-unit.tio" . "$source_dir/tests/unit.list"
"$capture" --root "$source_dir" -o "$output_dir/tinycalc-2-cli.tio" . "$source_dir/tests/cli.list"
TINYCALC_STRICT=1 "$capture" --root "$source_dir" -o "$output_dir/tinycalc-3-nightly.tio" . \
  "$source_dir/tests/nightly.list"
