#!/usr/bin/env bash
# Holds the Windows build to the Linux one: tavren.exe of build/windows/dist
# under Wine must write the same bytes as the Linux tavren for every photo
# of the corpus and the sample (each type at a view size, and at full size
# for the sample's folder), for a picture with a Unicode name, and answer
# malformed files with the same exit status and message.  Then the
# installer: a silent install for this user, its entries, its uninstaller.
# Run by scripts/windows.sh test (make windows-test).
set -uo pipefail
cd "$(dirname "$0")/.."

linux=$PWD/build/release/cli/tavren
windows=$PWD/build/windows/dist/tavren.exe
wine=$PWD/scripts/wine-run.sh
corpus=../shared/testdata/photos
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "windows-check: FAILED: $*"; failures=$((failures + 1)); }

if [ ! -x "$linux" ]; then
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DTAVREN_BUILD_TESTS=OFF >/dev/null
  cmake --build build/release -j"$(nproc)" --target tavren >/dev/null
fi
[ -f "$windows" ] || { echo "windows-check: no $windows; run make windows" >&2; exit 1; }

# Runs one command line with both programs; the outputs, exit statuses and
# messages must be the same.  $1 names the case; the rest are tavren's
# arguments, where OUT stands for the case's output folder.
both() {
  local name=$1; shift
  local side status
  for side in linux windows; do
    mkdir -p "$work/$side/$name"
    local args=("${@//OUT/$work/$side/$name}")
    if [ $side = linux ]; then
      "$linux" "${args[@]}" >"$work/$side/$name.out" 2>"$work/$side/$name.err"
    else
      "$wine" "$windows" "${args[@]}" >"$work/$side/$name.out" 2>"$work/$side/$name.err"
    fi
    echo $? >"$work/$side/$name.status"
    # AVIF is read where libheif decodes AV1; the Windows SDK's does not, so
    # the lists of extensions in messages are compared without it.
    sed -i "s#$work/$side#WORK#g; s#\r##g; s#, \.avif##g" "$work/$side/$name.out" "$work/$side/$name.err"
  done
  if ! diff -r "$work/linux/$name" "$work/windows/$name" >/dev/null; then
    fail "$name: the files written differ"
  fi
  for part in status out err; do
    if ! cmp -s "$work/linux/$name.$part" "$work/windows/$name.$part"; then
      fail "$name: the $part differs"
      diff "$work/linux/$name.$part" "$work/windows/$name.$part" | head -6
    fi
  done
}

# Every photo, every type, reduced to a full-HD view; the sample's folder
# also at full size.
folders=(samples)
[ -d "$corpus" ] && for dir in "$corpus"/*/; do folders+=("${dir%/}"); done
outputs=0
for folder in "${folders[@]}"; do
  for type in original light normal deep; do
    both "$(basename "$folder")-$type-view" enhance -q --type $type --fit 1920x1080 --out-dir OUT "$folder"
  done
done
for type in original light normal deep; do
  both "samples-$type-full" enhance -q --type $type --out-dir OUT samples
done
both samples-manual-full enhance -q --clarivex strong --lumora weak --artifact-suppression \
  --out-dir OUT samples
outputs=$(find "$work/linux" -type f ! -name '*.out' ! -name '*.err' ! -name '*.status' | wc -l)

# A name in several scripts, as a file and as a member of a folder.
unicode="$work/unicode/Ålesund – été ёлка 写真"
mkdir -p "$unicode"
cp samples/DSCN0010.jpg "$unicode/Ålesund – été ёлка 写真.jpg"
both unicode-file enhance -q -o "OUT/写真 copy.jpg" "$unicode/Ålesund – été ёлка 写真.jpg"
both unicode-folder enhance -q --type deep --fit 800x600 --out-dir OUT "$unicode"
both unicode-info info "$unicode/Ålesund – été ёлка 写真.jpg"

# Malformed files: the same refusal, the same status.
bad=$work/bad
mkdir -p "$bad/folder.jpg"
: >"$bad/empty.jpg"
head -c 3000 samples/DSCN0010.jpg >"$bad/cut.jpg"
printf 'not a picture' >"$bad/text.png"
printf 'BM\x36\x00\x00\x00' >"$bad/short.bmp"
cp samples/DSCN0010.jpg "$bad/photo.gif"
cd "$bad"  # the names as given, relative; not in a subshell, which would lose the count
for file in empty.jpg cut.jpg text.png short.bmp photo.gif folder.jpg; do
  both "bad-$file" enhance -q --out-dir OUT "$file"
done
both bad-info info empty.jpg cut.jpg text.png short.bmp
cd - >/dev/null
both usage enhance --type sideways samples/DSCN0010.jpg

# The installer, in a Wine prefix of its own: a silent install for this
# user, the installed programs running from their folder alone, then the
# uninstaller, which takes everything away but the window's stored state.
check_installer() {
  local before=$failures setup
  setup=$(ls build/windows/brisolm-tavren-*-win64-setup.exe 2>/dev/null | head -1)
  [ -n "$setup" ] || { fail "installer: no setup program in build/windows"; return; }
  local prefix=$work/prefix
  local run=(env WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
             WINEPATH= "$(command -v wine64 || echo /usr/lib/wine/wine64)")
  mkdir -p "$prefix"
  "${run[@]}" wineboot -i >/dev/null 2>&1
  local user_dir=$prefix/drive_c/users/$(whoami)
  local folder="$user_dir/AppData/Local/Programs/Brisolm Tavren"
  local shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Brisolm Tavren.lnk"
  local uninstall='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brisolm Tavren Setup'
  local open_with='HKCU\Software\Classes\.heic\OpenWithList\brisolm-tavren.exe'
  local state='HKCU\Software\Brisolm Imaging\Brisolm Tavren'

  "${run[@]}" "$setup" /S || fail "installer: the silent install failed"
  [ -f "$folder/tavren.exe" ] || fail "installer: no tavren.exe in $folder"
  [ -f "$folder/Uninstall.exe" ] || fail "installer: no uninstaller"
  [ -f "$shortcut" ] || fail "installer: no Start-menu entry"
  "${run[@]}" reg query "$uninstall" >/dev/null 2>&1 || fail "installer: no uninstall entry"
  "${run[@]}" reg query "$open_with" >/dev/null 2>&1 || fail "installer: no Open-with entry"
  local version
  version=$("${run[@]}" "$folder/tavren.exe" --version 2>&1 | tr -d '\r')
  [ -n "$version" ] && "$linux" --version | grep -qxF "$version" ||
    fail "installer: the installed tavren.exe says '$version'"

  "${run[@]}" reg add "$state" /v Main /t REG_BINARY /d 00 /f >/dev/null 2>&1
  "${run[@]}" "$folder/Uninstall.exe" /S || fail "installer: the uninstaller failed"
  sleep 2  # the uninstaller finishes from a copy of itself
  [ ! -e "$folder" ] || fail "installer: $folder is left: $(ls "$folder")"
  [ ! -e "$shortcut" ] || fail "installer: the Start-menu entry is left"
  ! "${run[@]}" reg query "$uninstall" >/dev/null 2>&1 || fail "installer: the uninstall entry is left"
  ! "${run[@]}" reg query "$open_with" >/dev/null 2>&1 || fail "installer: the Open-with entry is left"
  "${run[@]}" reg query "$state" /v Main >/dev/null 2>&1 ||
    fail "installer: the uninstaller took the window's state"
  [ $failures -eq $before ] &&
    echo "windows-check: the installer installed for this user and its uninstaller took it away"
}
check_installer

echo "windows-check: $outputs files written by each, compared"
[ $failures -eq 0 ] || { echo "windows-check: $failures failed"; exit 1; }
echo "windows-check: the Windows build wrote the same bytes and said the same"
