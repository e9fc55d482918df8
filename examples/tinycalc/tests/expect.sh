#!/bin/sh
# expect STATUS TEXT COMMAND [ARGUMENT...]
# Runs COMMAND on our standard input and checks its exit status and its
# output (standard error included) against TEXT, in which \n is a line break.
# Trailing line breaks do not count. Status 0 when both match.
expected_status=$1
expected_text=$(printf '%b' "$2")
shift 2
actual_text=$("$@" 2>&1)
actual_status=$?
if [ "$actual_status" = "$expected_status" ] && [ "$actual_text" = "$expected_text" ]; then
  exit 0
fi
echo "command: $*"
echo "status $actual_status (expected $expected_status), output:"
echo "$actual_text"
echo "expected output:"
echo "$expected_text"
exit 1
