#!/usr/bin/env bash
# Runs one end-to-end case in a fresh temporary directory and compares the
# tool's standard output, standard error and exit status with the case's
# expected files. With ZORVANE_E2E_UPDATE=1 the expected files are rewritten
# from what the tool printed instead (review the diff before committing).
#
# A case folder holds:
#   args             the arguments, one per line (optional)
#   env              NAME=value lines to set, -NAME lines to unset (optional)
#   setup            a bash script run in the work directory first (optional)
#   sources          paths in the repository, one a line, copied into the work
#                    directory before the setup (optional): what a script case
#                    builds, such as the example program
#   ulimit           options of the shell's ulimit, one set per line, applied
#                    to the tool alone (optional). Such a case is skipped
#                    (status 77) when the tool is built with AddressSanitizer,
#                    which reserves terabytes of address space.
#   expected.stdout, expected.stderr, expected.status
#                    absent means empty output and status 0
#   anything else    input files, copied into the work directory
set -u
tool=$1 stage=$2 case_dir=$3
repository=$(cd "$(dirname "$0")/../.." && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$case_dir"/. "$work"/
rm -f "$work"/expected.*
cd "$work" || exit 1
if [ -f sources ]; then
  while IFS= read -r path || [ -n "$path" ]; do
    [ -z "$path" ] || cp -R "$repository/$path" . || { echo "cannot copy $path"; exit 1; }
  done < sources
fi
if [ -f setup ]; then
  bash setup || { echo "setup of $case_dir failed"; exit 1; }
fi

environment=("PATH=$PATH" "LC_ALL=C" "HALVERNDIR=$stage")
if [ -f env ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    [ -n "$line" ] || continue
    name=${line#-}; name=${name%%=*}
    kept=()
    for entry in "${environment[@]}"; do
      [ "${entry%%=*}" = "$name" ] || kept+=("$entry")
    done
    environment=("${kept[@]}")
    [ "${line:0:1}" = "-" ] || environment+=("$line")
  done < env
fi

arguments=()
if [ -f args ]; then
  while IFS= read -r line || [ -n "$line" ]; do arguments+=("$line"); done < args
fi

limits=()
if [ -f ulimit ]; then
  if ldd "$tool" | grep -q libasan; then echo "skipped: ulimit under AddressSanitizer"; exit 77; fi
  while IFS= read -r line || [ -n "$line" ]; do [ -n "$line" ] && limits+=("$line"); done < ulimit
fi

(
  for limit in "${limits[@]}"; do ulimit $limit || exit 1; done
  exec env -i "${environment[@]}" "$tool" "${arguments[@]}"
) > "$work/actual.stdout" 2> "$work/actual.stderr" < /dev/null
echo $? > "$work/actual.status"

if [ "${ZORVANE_E2E_UPDATE:-}" = 1 ]; then
  for stream in stdout stderr status; do
    if [ -s "$work/actual.$stream" ] && ! { [ $stream = status ] && [ "$(cat "$work/actual.status")" = 0 ]; }; then
      cp "$work/actual.$stream" "$case_dir/expected.$stream"
    else
      rm -f "$case_dir/expected.$stream"
    fi
  done
  exit 0
fi

echo 0 > "$work/default.status"
: > "$work/default.stdout"
: > "$work/default.stderr"
failed=0
for stream in stdout stderr status; do
  expected="$case_dir/expected.$stream"
  [ -f "$expected" ] || expected="$work/default.$stream"
  if ! cmp -s "$expected" "$work/actual.$stream"; then
    echo "--- $stream differs (expected, then actual):"
    diff -u "$expected" "$work/actual.$stream" | cat -A | head -60
    failed=1
  fi
done
exit $failed
