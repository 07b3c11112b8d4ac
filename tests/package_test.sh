#!/usr/bin/env bash
# Builds the Debian package from a finished build and checks what a user gets
# from it: the computed dependencies, the files it holds, the unpacked tool's
# help text (the build's tool's) and a man page that lints clean.
#
#   package_test.sh <build folder> <version> <sanitize ON|OFF> <the build's tool>
#
# Exits 77 (registered as the skip code) where the test cannot mean anything.
set -uo pipefail

build=$1
version=$2
sanitize=$3
built_tool=$4

skip() {
  echo "SKIPPED: $*"
  exit 77
}
fail() {
  echo "FAILED: $*"
  exit 1
}

case "$sanitize" in
  ON | on | TRUE | true | 1 | YES | yes)
    skip "this build is instrumented with sanitizers; a package of it would be no use to anyone" ;;
esac
command -v dpkg-deb >/dev/null || skip "dpkg-deb is missing: not a Debian system"
for tool in cpack dpkg-shlibdeps file groff mandoc; do
  command -v "$tool" >/dev/null || fail "$tool is missing (./dev.sh installs it)"
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A folder of its own for cpack, so the build folder is left as it was and
# runs of this test never share staging files.
arch=$(dpkg --print-architecture)
deb="$work/velmoraReelCut_${version}_${arch}.deb"
if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  fail "cpack could not build the package"
fi
[ -f "$deb" ] || fail "cpack did not make $(basename "$deb"); it made: $(cd "$work" && ls ./*.deb)"

info=$(dpkg-deb -I "$deb") || fail "dpkg-deb -I cannot read the package"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmorareelcut ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer field"
[ -n "$(field Description)" ] || fail "no Description field"

# The dependencies are those of the binary as dpkg-shlibdeps finds them: the
# FreeImage runtime, libdeflate (the PNG writer's deflate) and zlib (the
# inflate of an ICC profile's head), and the C and C++ runtimes, nothing from
# the test tools.
depends=$(field Depends)
names=$(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/ //g' | sort)
for name in libfreeimage3 libdeflate0; do
  echo "$names" | grep -qx "$name" || { echo "$info"; fail "Depends lacks $name: $depends"; }
done
for name in $names; do
  case "$name" in
    libc6 | libdeflate0 | libfreeimage3 | libgcc-s1 | libstdc++6 | zlib1g) ;;
    *) fail "unexpected dependency $name in: $depends" ;;
  esac
done

expected_files='./usr/bin/velmoraReelCut
./usr/share/doc/velmoraReelCut/LICENSE
./usr/share/doc/velmoraReelCut/README.md
./usr/share/man/man1/velmoraReelCut.1'
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort)
[ "$files" = "$expected_files" ] ||
  fail "the package holds other files than the tool, its man page and docs:
$files"

root="$work/root"
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x cannot unpack the package"

tool="$root/usr/bin/velmoraReelCut"
[ -x "$tool" ] || fail "usr/bin/velmoraReelCut is not an executable"
# The help text's expected bytes live in the C++ tests, which check the
# build's tool against them; the packaged tool must print the same bytes.
# help_of <tool> <what it is> <file for its output>
help_of() {
  timeout 60 "$1" '-?' </dev/null >"$3" 2>"$work/stderr"
  local status=$?
  [ "$status" -eq 0 ] || fail "$2 exits with $status after -?"
  [ ! -s "$work/stderr" ] || fail "$2 writes to standard error: $(cat "$work/stderr")"
  [ -s "$3" ] || fail "$2 prints nothing after -?"
}
help_of "$built_tool" "the build's tool" "$work/help.build"
help_of "$tool" "the unpacked tool" "$work/help.package"
cmp -s "$work/help.build" "$work/help.package" || {
  diff "$work/help.build" "$work/help.package"
  fail "the unpacked tool's help text differs from the build's (above: the build's, below: the package's)"
}

page="$root/usr/share/man/man1/velmoraReelCut.1"
[ -f "$page" ] || fail "the man page is missing"
lint=$(mandoc -Tlint "$page" 2>&1) || fail "mandoc -Tlint: $lint"
lint=$(groff -man -ww -z "$page" 2>&1)
[ -z "$lint" ] || fail "groff -man -ww -z: $lint"
# Every option of the help text has its own tagged paragraph.
tags=$(awk 'previous == ".TP" { print } { previous = $0 }' "$page")
for option in -i -o -threshold -forcecrop -jobs -optimize -report -preview '-?'; do
  echo "$tags" | grep -qF -- " \\$option" ||
    fail "the man page has no paragraph for option $option"
done

echo "package $(basename "$deb") checked: Depends: $depends"
