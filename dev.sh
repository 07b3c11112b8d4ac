#!/usr/bin/env bash
# Set up, build and run velmoraReelCut on a Debian machine.
#
#   ./dev.sh demo   install what is missing, build, crop the bundled demo frames
#   ./dev.sh test   install what is missing, run the whole test suite
#                   (a normal build, a short run of every fuzz target, an
#                   address/undefined sanitizer build, a thread sanitizer
#                   run of the threaded tests, and the Windows build tested
#                   under Wine)
#   ./dev.sh windows  install what is missing, cross-build
#                   build-windows/velmoraReelCut.exe and its unit tests
#   ./dev.sh windows-test  the Windows part of the test command alone: the
#                   Windows build's unit tests and the end-to-end tests of
#                   the Linux build, both against Windows code under Wine
set -euo pipefail
cd "$(dirname "$0")"

# shellcheck source=tools/packages.sh
source tools/packages.sh

# node and npm for the browser check, and its packages as its lockfile pins
# them. A machine that has node already keeps its own (its npm may come with
# it); Debian's are installed only where there is none.
install_node() {
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    install_missing nodejs npm
  fi
  (cd tests/browser && npm ci --no-audit --no-fund --loglevel=error)
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
  build/velmoraReelCut -i examples -o "$out" -report "$out/report.json" \
    -preview "$out/coverage.png" </dev/null
  echo
  echo "The cropped demo frames are in $out/autocropped/, the report in $out/report.json," \
    "the coverage picture in $out/coverage.png"
}

# The Windows build: static dependencies from Debian's source packages
# (windows/deps.sh, cached in build-windows/deps), then the tool and its unit
# tests, cross-compiled with mingw-w64.
windows_build() {
  windows/deps.sh build-windows
  cmake -S . -B build-windows -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
    -DVELMORA_WINDOWS_DEPS="$PWD/build-windows/deps/prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/windows/wine-run;$PWD/build-windows/wine" >/dev/null
  cmake --build build-windows -j2
}

# The Windows build under Wine: its unit tests through ctest, then the
# end-to-end tests of the native test binary (build/) against the .exe. A
# subshell, so that its exit trap stops the server of this prefix alone.
windows_tests() (
  prefix=$PWD/build-windows/wine
  server=/usr/lib/wine/wineserver64
  if command -v wineserver >/dev/null; then server=wineserver; fi
  # One server for every run. It must not inherit this script's pipes: it
  # would keep them open, and whoever reads them would wait for it. It starts
  # in the prefix's folder, which the first run of a program fills in.
  mkdir -p "$prefix"
  WINEPREFIX=$prefix "$server" -p </dev/null >/dev/null 2>&1
  trap 'WINEPREFIX="$prefix" "$server" -k </dev/null >/dev/null 2>&1 || true' EXIT
  # The prefix is made once, before runs in parallel could race to make it.
  windows/wine-run "$prefix" build-windows/velmoraReelCut.exe -? </dev/null >/dev/null 2>&1
  # Each test runs once: a fault that shows now and then must fail the step,
  # not pass on a second try. wine-run makes again only a start that Wine
  # itself reports as dead before the program ran, and notes it in its log.
  log=$prefix/wine-run.log
  logged=$(wc -l 2>/dev/null <"$log" || echo 0)
  (cd build-windows && ctest --output-on-failure -j2)
  tool=build-windows/velmoraReelCut-wine
  printf '#!/bin/sh\nexec "%s" "%s" "%s" "$@"\n' "$PWD/windows/wine-run" "$prefix" \
    "$PWD/build-windows/velmoraReelCut.exe" >"$tool"
  chmod +x "$tool"
  # The ten thousand frames measure Wine's file system more than the tool
  # (40 s on a quiet machine, past the tests' 120 s child limit on a busy one).
  VELMORA_TOOL=$PWD/$tool VELMORA_TOOL_WINDOWS=1 build/tests/velmora_tests \
    --gtest_filter='ToolRun.*:ToolTree.*:ToolSheet.*:ToolFaults.*:HostileFolder.*:TransparencyForms.*-HostileFolder.TenThousand*'
  if [ "$(wc -l 2>/dev/null <"$log" || echo 0)" -gt "$logged" ]; then
    echo "Wine failed to start some runs before the program ran; they were started again ($log):"
    tail -n +"$((logged + 1))" "$log"
  fi
)

run_tests() {
  install_missing "${windows_packages[@]}"
  install_node
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
  (cd build-tsan && ctest --output-on-failure -j"$(nproc)" -R 'ThreeThreads|RunInOrder|PixelBudget|Jobs|Threads|ToolSheet')
  windows_build
  windows_tests
}

case "${1:-}" in
  demo) demo ;;
  test) run_tests ;;
  windows)
    install_missing "${windows_packages[@]}"
    windows_build
    ;;
  windows-test)
    install_missing "${windows_packages[@]}"
    configure build -DVELMORA_TESTS=ON
    cmake --build build -j"$(nproc)"
    windows_build
    windows_tests
    ;;
  *)
    echo "usage: ./dev.sh demo | test | windows | windows-test" >&2
    exit 2
    ;;
esac
