# Shared set-up of the tools/ commands: installs the Debian packages the
# build needs (as root), then configures and builds incrementally.
# Sourced, not run; sets ZORVANE_ROOT, ZORVANE_BUILD and ZORVANE_STAGE.

ZORVANE_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
ZORVANE_BUILD=${ZORVANE_BUILD:-$ZORVANE_ROOT/build}
ZORVANE_STAGE=$ZORVANE_BUILD/stage

zorvane_packages=(cmake ninja-build g++ qt6-base-dev qt6-tools-dev qt6-l10n-tools libgtest-dev libglpk-dev libabsl-dev libxxhash-dev)
# Only for the tests (tools/test): lcov captures the tracefiles that the
# converter's end-to-end case converts; glpsol (glpk-utils) works out the
# smallest cover of the captured example on its own, to check the tool's;
# dpkg-dev and file let cpack work out the Debian package's dependencies
# (dpkg-shlibdeps) in the package test.
zorvane_test_packages=(lcov glpk-utils dpkg-dev file)
# Only for the checked build (tools/test --sanitize) and the fuzz targets
# (tools/fuzz); clang 16 is the first whose C++20 ranges accept GCC 12's
# standard library.
zorvane_sanitize_packages=(libasan8 libubsan1)
zorvane_fuzz_packages=(clang-16 libclang-rt-16-dev)

zorvane_install_packages() {
  local missing=() package
  for package in "${zorvane_packages[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "zorvane: these Debian packages are missing; install them with:" >&2
    echo "  sudo apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  echo "zorvane: installing ${missing[*]}" >&2
  apt-get update -qq >&2 &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >&2 < /dev/null ||
    { echo "zorvane: apt-get could not install ${missing[*]}" >&2; exit 1; }
}

# Configures (once) and builds the tree in $1 with the extra CMake options
# that follow; the build log is shown only when the build fails.
zorvane_build() {
  local build_dir=$1; shift
  local log="$build_dir/last-build.log"
  mkdir -p "$build_dir"
  # Options given are applied to an existing build too.
  if [ ! -f "$build_dir/build.ninja" ] || [ $# -gt 0 ]; then
    cmake -S "$ZORVANE_ROOT" -B "$build_dir" -G Ninja "$@" > "$log" 2>&1 ||
      { cat "$log" >&2; echo "zorvane: configuring failed" >&2; exit 1; }
  fi
  cmake --build "$build_dir" > "$log" 2>&1 ||
    { cat "$log" >&2; echo "zorvane: the build failed" >&2; exit 1; }
}
