#!/usr/bin/env bash
# Builds the tool and the benchmark driver (Release) of the working tree or
# of a commit, and prints the build directory.
#
#   bench/build_rev.sh          the working tree, in build-bench/
#   bench/build_rev.sh REV      that commit, exported to
#                               build-bench/source-<commit>, built in
#                               build-bench/build-<commit>
# Environment:
#   BENCH_BUILD   where the builds go (default build-bench)
# The build's log is shown only when the build fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BENCH_BUILD:-$root/build-bench}
source_dir=$root
if [ -n "${1:-}" ]; then
  commit=$(git -C "$root" rev-parse "$1^{commit}")
  source_dir=$build/source-${commit:0:12}
  if [ ! -f "$source_dir/CMakeLists.txt" ]; then
    rm -rf "$source_dir" && mkdir -p "$source_dir"
    git -C "$root" archive "$commit" | tar -x -C "$source_dir"
  fi
  build=$build/build-${commit:0:12}
fi
echo "build_rev: building $source_dir in $build" >&2
mkdir -p "$build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$source_dir" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    > "$build/bench-configure.log" 2>&1 || { cat "$build/bench-configure.log" >&2; exit 1; }
fi
cmake --build "$build" --target zorvane zorvane_bench > "$build/bench-build.log" 2>&1 ||
  { tail -40 "$build/bench-build.log" >&2; exit 1; }
echo "$build"
