#!/usr/bin/env bash
# Set up, build and run velmoraReelCut on a Debian machine.
#
#   ./dev.sh demo   install what is missing, build, crop the bundled demo frames
#   ./dev.sh test   install what is missing, run the whole test suite
#                   (a normal build, a short run of every fuzz target, an
#                   address/undefined sanitizer build and a thread sanitizer
#                   run of the threaded tests)
set -euo pipefail
cd "$(dirname "$0")"

# The tool alone: the compiler, CMake, make, FreeImage and the JSON header of
# the report. This is all the demo installs.
tool_packages=(g++ cmake make libfreeimage-dev nlohmann-json3-dev)
# The tests add: libgtest-dev; zlib1g-dev, the tests' PNG encoders; dpkg-dev,
# file, mandoc and groff-base, the package test (cpack's dependency scan, the
# man page lint); valgrind, the memory checks; clang-14 and
# libclang-rt-14-dev, the libFuzzer targets.
test_packages=("${tool_packages[@]}" libgtest-dev zlib1g-dev dpkg-dev file mandoc groff-base
  valgrind clang-14 libclang-rt-14-dev)

# install_missing <package>...
install_missing() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing Debian packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

# configure <folder> [cmake options...]
configure() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
}

demo() {
  install_missing "${tool_packages[@]}"
  # The test command turns the tests on again in the same folder; the tool's
  # objects built here are reused.
  configure build -DVELMORA_TESTS=OFF
  cmake --build build -j"$(nproc)" --target velmoraReelCut
  local out=build/demo
  rm -rf "$out"
  mkdir -p "$out"
  # The tool pauses for Enter before it exits; the demo answers for the user.
  build/velmoraReelCut -i examples -o "$out" -report "$out/report.json" </dev/null
  echo
  echo "The cropped demo frames are in $out/autocropped/, the report in $out/report.json"
}

run_tests() {
  install_missing "${test_packages[@]}"
  configure build -DVELMORA_TESTS=ON
  cmake --build build -j"$(nproc)"
  (cd build && ctest --output-on-failure -j"$(nproc)")
  # About 20 s in all: each fuzz target from its seed corpus.
  fuzz/run 6
  configure build-asan -DSANITIZE=ON -DVELMORA_TESTS=ON
  cmake --build build-asan -j"$(nproc)"
  (cd build-asan && ctest --output-on-failure -j"$(nproc)")
  # The threaded paths under ThreadSanitizer: the -jobs runs and their parts.
  configure build-tsan -DVELMORA_TSAN=ON -DVELMORA_TESTS=ON
  cmake --build build-tsan -j"$(nproc)"
  (cd build-tsan && ctest --output-on-failure -j"$(nproc)" -R 'ThreeThreads|RunInOrder|PixelBudget|Jobs')
}

case "${1:-}" in
  demo) demo ;;
  test) run_tests ;;
  *)
    echo "usage: ./dev.sh demo | test" >&2
    exit 2
    ;;
esac
