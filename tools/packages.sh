# The Debian packages of this project and install_missing, sourced by dev.sh
# and bench/run so that both build the tool from the same list.
# The lists are read by those scripts, not here.
# shellcheck shell=bash disable=SC2034

# The tool alone: the compiler, CMake, make, FreeImage, libdeflate (the PNG
# writer's deflate), zlib (the inflate of an ICC profile's head), the JSON
# header of the report and xxHash (-incremental's hashes). This is all the
# demo installs.
tool_packages=(g++ cmake make libfreeimage-dev libdeflate-dev zlib1g-dev nlohmann-json3-dev
  libxxhash-dev)
# The tests add: libgtest-dev; libpng-dev, the decoder that checks the PNG
# writer; dpkg-dev,
# file, mandoc and groff-base, the package test (cpack's dependency scan, the
# man page lint); valgrind, the memory checks; clang-14 and
# libclang-rt-14-dev, the libFuzzer targets; chromium, the browser check of
# -sheet (driven from node, see install_node in dev.sh).
test_packages=("${tool_packages[@]}" libgtest-dev libpng-dev dpkg-dev file mandoc groff-base
  valgrind clang-14 libclang-rt-14-dev chromium)
# The Windows build and its tests add the cross compiler and Wine (dpkg-dev
# unpacks the source packages of its dependencies; libgtest-dev's sources are
# cross-built).
windows_packages=("${test_packages[@]}" g++-mingw-w64-x86-64-posix wine64)

# install_missing <package>...: apt-get installs those not installed yet,
# through sudo when not root.
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
