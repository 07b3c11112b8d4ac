#!/usr/bin/env bash
# Builds the static zlib, libpng, PNG-only FreeImage and libdeflate of the
# Windows build from Debian's source packages, into <build folder>/deps/prefix,
# and puts the header-only JSON library beside them.
#
#   windows/deps.sh <build folder>
#
# The source packages come through a private apt configuration kept in
# <build folder>/deps/apt: its own deb-src list, package lists and cache, so
# the machine's apt sources are never touched. The versions below are the
# ones built and tested; another version in the archive stops the build
# rather than slipping in untested. A finished build is cached (a stamp file
# names the versions), so a second run only checks the stamp.
set -euo pipefail

# package=version, as `apt-get source` takes them.
pins=(
  zlib=1:1.2.13.dfsg-1
  libpng1.6=1.6.39-2+deb12u5
  freeimage=3.18.0+ds2-9+deb12u1
  libdeflate=1.14-1
)

here=$(cd "$(dirname "$0")" && pwd)
build=$(mkdir -p "$1" && cd "$1" && pwd)
deps=$build/deps
prefix=$deps/prefix
stamp=$prefix/versions

# The report's JSON library and the manifest's hash are header only (xxHash
# is used inlined) and the same for every target: the installed Debian
# packages (nlohmann-json3-dev, libxxhash-dev) are copied into the prefix,
# where the cross build looks.
mkdir -p "$prefix/include" "$prefix/share/cmake"
rm -rf "$prefix/include/nlohmann" "$prefix/share/cmake/nlohmann_json"
cp -r /usr/include/nlohmann "$prefix/include/"
cp -r /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"
cp /usr/include/xxhash.h "$prefix/include/"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "${pins[*]}" ]; then
  exit 0
fi

apt_dir=$deps/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$deps/src"
# The same archive and suites as the machine's own sources, for source
# packages only.
cat >"$apt_dir/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm-updates main
LIST
apt_options=(
  -o "Dir::Etc::SourceList=$apt_dir/sources.list"
  -o Dir::Etc::SourceParts=/dev/null
  -o "Dir::State::Lists=$apt_dir/lists"
  -o "Dir::Cache=$apt_dir/cache"
  # The downloads land in a folder of the build, which apt's own _apt user may not
  # be able to enter.
  -o APT::Sandbox::User=root
)
apt-get "${apt_options[@]}" -qq update

sources=()
for pin in "${pins[@]}"; do
  package=${pin%%=*}
  version=${pin#*=}
  offered=$(apt-cache "${apt_options[@]}" showsrc "$package" | sed -n 's/^Version: //p' | sort -u)
  if ! grep -qxF "$version" <<<"$offered"; then
    echo "windows/deps.sh: $package $version is pinned, but the archive offers: $offered" >&2
    echo "Build and test with that version, then update the pin in windows/deps.sh." >&2
    exit 1
  fi
  # Upstream version without the epoch and Debian revision: the folder name.
  upstream=${version#*:}
  upstream=${upstream%-*}
  folder=$deps/src/$package-$upstream
  if [ ! -d "$folder" ]; then
    (cd "$deps/src" && apt-get "${apt_options[@]}" -qq source --download-only "$pin" >/dev/null)
    dsc=$deps/src/${package}_${version#*:}.dsc
    # apt has checked the files against the signed archive already.
    dpkg-source --no-check -x "$dsc" "$folder" >/dev/null
  fi
  sources+=("$folder")
done

cmake -S "$here/deps" -B "$deps/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/mingw-w64-x86_64.cmake" \
  -DZLIB_SOURCE="${sources[0]}" -DPNG_SOURCE="${sources[1]}" -DFREEIMAGE_SOURCE="${sources[2]}" \
  -DDEFLATE_SOURCE="${sources[3]}" \
  -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
cmake --build "$deps/build" -j2
cmake --install "$deps/build" >/dev/null
echo "${pins[*]}" >"$stamp"
