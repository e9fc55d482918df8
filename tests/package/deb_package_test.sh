#!/usr/bin/env bash
# Builds the Debian package with cpack, unpacks it with dpkg -x into a
# temporary root, and runs the tools from there through the commands on the
# PATH, as an installed system would.
#   deb_package_test.sh <build directory> <source directory>
set -u
build=$1 source=$2
command -v dpkg-deb > /dev/null || { echo "skipped: dpkg-deb is missing"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }
# expect DESCRIPTION EXPECTED ACTUAL
expect() {
  [ "$2" = "$3" ] || { fail "$1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3"); }
}

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") \
  > "$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; echo "FAILED: cpack"; exit 1; }
package=$(echo "$work"/out/zorvane_*.deb)
[ -f "$package" ] || { cat "$work/cpack.log"; echo "FAILED: no package in $work/out"; exit 1; }

root=$work/root
dpkg -x "$package" "$root"
expect "package name" zorvane "$(dpkg-deb -f "$package" Package)"
dpkg-deb -f "$package" Depends | grep -q 'libqt6core6' || fail "Depends lacks libqt6core6"
for file in usr/bin/zorvane usr/bin/zorvane-lcov usr/bin/zorvane-gcov \
            usr/lib/zorvane/bin/zorvane usr/lib/zorvane/bin/zorvane-lcov \
            usr/lib/zorvane/bin/zorvane-gcov usr/share/man/man1/zorvane-gcov.1.gz \
            usr/lib/zorvane/lib/locale/Zorvane_fr.qm usr/lib/zorvane/lib/locale/veskident_fr.qm \
            usr/share/man/man1/zorvane.1.gz usr/share/man/man1/zorvane-lcov.1.gz \
            usr/share/doc/zorvane/tio-format.md usr/share/doc/zorvane/copyright; do
  [ -e "$root/$file" ] || fail "the package lacks /$file"
done
zcat "$root/usr/share/man/man1/zorvane.1.gz" | grep -q '^\.SH NAME' || fail "zorvane(1) is no manual page"

# The tools run from the unpacked tree: the zorvane command finds its
# installation directory beside itself and sets HALVERNDIR to it.
run() { env -i PATH=/usr/bin:/bin LC_ALL=fr_FR.UTF-8 "$@" 2>&1; }
cp "$source/examples/tinycalc-2-cli.tio" "$work/cli.tio"
output=$(cd "$work" && run "$root/usr/bin/zorvane" cli.tio --needed needed.txt)
expect "status of a run" 0 $?
echo "$output" | grep -qx 'Zorvane -  info : # 16 tests sont nécessaires' ||
  fail "a run with the French translation installed"$'\n'"$output"
expect "the needed list" 16 "$(wc -l < "$work/needed.txt")"

# Through a link elsewhere too.
ln -s "$root/usr/bin/zorvane" "$work/zorvane-link"
run "$work/zorvane-link" --version | tail -1 | grep -qxE 'Zorvane [0-9.]+' ||
  fail "the version through a link"

# HALVERNDIR set by the caller is kept.
output=$(run HALVERNDIR=/nonexistent "$root/usr/bin/zorvane" --version)
expect "status with the caller's HALVERNDIR" 255 $?
expect "the caller's HALVERNDIR" "Fatal Error: directory doesn't exist '/nonexistent/lib/locale'" "$output"

# The converter, through its link on the PATH.
printf 'TN:t\nSF:/src/a.c\nDA:1,1\nend_of_record\n' > "$work/t.info"
output=$(cd "$work" && run "$root/usr/bin/zorvane-lcov" -b /src -o t.tio t.info && grep -c '^TL 0' t.tio)
expect "a conversion" 1 "$output"
run "$root/usr/bin/zorvane-gcov" --version | grep -qxE 'zorvane-gcov [0-9.]+' ||
  fail "the capture driver through its link"

[ "$failures" -eq 0 ] || exit 1
echo "the package installs and runs"
