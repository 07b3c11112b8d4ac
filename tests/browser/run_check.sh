#!/usr/bin/env bash
# The browser check of -sheet: sheets the built tool makes of the frames in
# tests/browser/frames (three animations, one of mixed sizes, one with a
# duplicate frame, and all of them in one folder, which takes two pages),
# loaded by Phaser and PixiJS in headless Chromium and compared with their
# sources by check_sheets.mjs.
#
#   tests/browser/run_check.sh <velmoraReelCut>
#
# Exits 77 (a skip to ctest) when `npm ci` has not run in tests/browser or
# Chromium is missing; the test command installs both.
set -euo pipefail
tool=${1:?usage: run_check.sh <velmoraReelCut>}
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -d "$here/node_modules" ] || ! command -v node >/dev/null ||
  [ ! -x "${CHROMIUM:-/usr/bin/chromium}" ]; then
  echo "run_check.sh: needs node, Chromium and npm ci in $here"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/all"
for folder in "$here"/frames/*/; do
  name=$(basename "$folder")
  cp -r "$folder" "$work/src/$name"
  for frame in "$folder"*.png; do cp "$frame" "$work/src/all/$name-$(basename "$frame")"; done
done

# check <name> <anchor> [tool options...]
check() {
  local name=$1 anchor=$2
  shift 2
  local out=$work/$name
  mkdir -p "$out"
  if ! "$tool" -i "$work/src" -o "$out" -tree -sheet "$@" </dev/null >"$out.log"; then
    cat "$out.log"
    echo "run_check.sh: the tool failed making the sheets of $name ($*)"
    exit 1
  fi
  echo "--- $name: -tree -sheet $*"
  node "$here/check_sheets.mjs" --anchor "$anchor" "$out/autocropped" "$work/src"
}

check plain topleft
check centred center -anchor center -optimize
check split bottom -anchor bottom -split stem -padding 0
check pages topleft -sheetmax 256 -padding 8
# The small pages must have made more than one page of the folder of all frames.
[ -f "$work/pages/autocropped/all/sheet-2.json" ] || { echo "run_check.sh: no second page"; exit 1; }
