#!/bin/sh
# Builds the Debian package of a build tree and checks its control fields,
# that it holds exactly the files a user of the package gets, and that
# lintian (when installed) finds neither errors nor warnings in it.
# Usage: package_test.sh BUILD_DIR VERSION WINDOW_BUILT(0|1)
set -eu

build=$1
version=$2
window=$3

if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg-deb is missing; skipped"
  exit 77
fi

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

fail() { echo "package: $*" >&2; exit 1; }

# Packaged in a folder of its own, so that the build tree stays as it was;
# compressed quickly, as the test reads what the package holds, not how
# tightly.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip \
  >"$out/cpack.log" 2>&1 \
  || { cat "$out/cpack.log" >&2; fail "cpack failed"; }
deb="$out/brisolm-tavren_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "$(basename "$deb") was not made"

field() { dpkg-deb --field "$deb" "$1"; }
[ "$(field Package)" = brisolm-tavren ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = graphics ] || fail "Section is '$(field Section)'"
field Maintainer | grep -qx '[^<]*[^ <] <[^@> ]*@[^> ]*>' \
  || fail "Maintainer '$(field Maintainer)' is not a name and an address"
[ -n "$(field Homepage)" ] || fail "no Homepage"
[ "$(field Description | wc -l)" -ge 4 ] || fail "the description has no long part"
# Library dependencies come from what the programs link.
needed="libc6 libstdc++6 libjpeg62-turbo"
[ "$window" = 1 ] && needed="$needed libqt6widgets6 libqt6svg6"
for package in $needed; do
  field Depends | tr ',' '\n' | grep -q "^ *$package\( \|$\)" \
    || fail "Depends lacks $package: $(field Depends)"
done

# The files, in the places where the programs, man, bash, menus and
# software centres look for them.
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | LC_ALL=C sort >"$out/files"
{
  echo ./usr/bin/tavren
  echo ./usr/share/bash-completion/completions/tavren
  echo ./usr/share/doc/brisolm-tavren/README.md
  echo ./usr/share/doc/brisolm-tavren/changelog.gz
  echo ./usr/share/doc/brisolm-tavren/copyright
  echo ./usr/share/man/man1/tavren.1.gz
  if [ "$window" = 1 ]; then
    echo ./usr/bin/brisolm-tavren
    echo ./usr/share/applications/brisolm-tavren.desktop
    echo "./usr/share/brisolm-tavren/BrisolmTavren Help.html"
    echo ./usr/share/icons/hicolor/256x256/apps/brisolm-tavren.png
    echo ./usr/share/icons/hicolor/scalable/apps/brisolm-tavren.svg
    echo ./usr/share/man/man1/brisolm-tavren.1.gz
    echo ./usr/share/metainfo/example.brisolm_imaging.tavren.metainfo.xml
  fi
} | LC_ALL=C sort >"$out/expected"
diff -u "$out/expected" "$out/files" >&2 || fail "the package's files differ from the list above"

# Debian reads the package's version from its changelog too.
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/brisolm-tavren/changelog.gz | gzip -dc \
  | head -n 1 | grep -q "^brisolm-tavren ($version) " || fail "the changelog is not of version $version"

if command -v lintian >/dev/null 2>&1; then
  lintian --fail-on error,warning "$deb" >&2 || fail "lintian finds faults"
fi
echo "package: ok"
