#!/usr/bin/env bash
# Runs the tool under valgrind over a small folder and fails on any memory
# error or definitely lost block:
#   valgrind_run.sh <velmoraReelCut> <framegen> scan|forcecrop|fatal
# Exit 77 (a skip for ctest) where valgrind cannot run it.
set -euo pipefail
tool=$1 framegen=$2 mode=$3

if [ "${VELMORA_SANITIZED:-0}" = 1 ]; then
  echo "SKIP: valgrind does not run a binary built with AddressSanitizer"
  exit 77
fi
if ! command -v valgrind >/dev/null; then
  echo "SKIP: valgrind is not installed"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/frames"
"$framegen" "$work/frames" 3 24 16 5 >/dev/null
args=(-i "$work/frames")
case $mode in
  scan) expected_exit=0 expected_line='All done!' ;;
  forcecrop) expected_exit=0 expected_line='All done!' args+=(-forcecrop 2,3,20,15) ;;
  fatal)
    # A 1 x 1 RGB frame: no alpha channel, so the scan ends in FATAL ERROR.
    printf '\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41\x54\x78\xda\x63\xf8\xcf\xc0\x00\x00\x03\x01\x01\x00\xf7\x03\x41\x43\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82' \
      >"$work/frames/frame_0002.png"
    expected_exit=1 expected_line='FATAL ERROR: alpha not 8bpp'
    ;;
  *) echo "unknown mode $mode" >&2; exit 2 ;;
esac

set +e
timeout 300 valgrind --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
  --log-file="$work/valgrind.log" "$tool" "${args[@]}" </dev/null >"$work/out.txt"
status=$?
set -e
cat "$work/valgrind.log"
# The tool's own exit code 1 and valgrind's error code are the same number,
# so the verdict on memory comes from the summary line.
if ! grep -q 'ERROR SUMMARY: 0 errors from 0 contexts' "$work/valgrind.log"; then
  echo "FAIL: valgrind found errors"
  exit 1
fi
if [ "$status" -ne "$expected_exit" ] || ! grep -q "$expected_line" "$work/out.txt"; then
  echo "FAIL: exit $status (expected $expected_exit); output:"
  cat "$work/out.txt"
  exit 1
fi
echo "PASS: $mode, exit $status, no memory errors"
