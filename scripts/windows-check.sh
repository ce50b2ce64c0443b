#!/usr/bin/env bash
# Holds the Windows build to the Linux one: tavren.exe of build/windows/dist
# under Wine must write the same bytes as the Linux tavren for every photo
# of the corpus and the sample (each type at a view size, and at full size
# for the sample's folder), for a picture with a Unicode name, and answer
# malformed files with the same exit status and message.  Then the
# installer: a silent install for this user, its entries, its uninstaller.
# Then the window, on an X display of its own: a walk through a folder with
# a save, its stored state, and paste, help and drop with other programs.
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

# The window under Wine on an X display of its own (Xvfb, no window
# manager), in a Wine prefix of its own, driven with xdotool as a user
# would: the walk through a folder, the stored window state, then paste,
# help and drop from other programs (build/windows/tests/windows).
window_prefix=$work/window-prefix
window_display=
xvfb_pid=
stop_display() {
  [ -n "$xvfb_pid" ] || return 0
  WINEPREFIX=$window_prefix "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k \
    >/dev/null 2>&1
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
trap 'stop_display; rm -rf "$work"' EXIT

start_display() {
  local number
  for number in $(seq 91 120); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
    Xvfb ":$number" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    window_display=:$number
    local tries
    for tries in $(seq 50); do
      DISPLAY=$window_display xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    return 1
  done
  return 1
}

# Wine in the window's prefix on the window's display.
in_window_prefix() { DISPLAY=$window_display TAVREN_WINEPREFIX=$window_prefix "$wine" "$@"; }
on_display() { DISPLAY=$window_display "$@"; }
windows_path() { local path=$1; echo "Z:${path//\//\\}"; }

# Waits up to $2 tenths of a second (40 s when not given) for a visible
# window whose caption is exactly $1; prints its id.
wait_window() {
  local tries id
  for tries in $(seq "${2:-400}"); do
    id=$(on_display xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | tail -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Sends keys to a window: xdotool's events go to the window that has the focus.
keys_to() {
  local id=$1; shift
  on_display xdotool windowfocus --sync "$id" key --clearmodifiers "$@"
}

# The save dialog: of the windows captioned "Save Image" (the dialog keeps a
# small one of its own beside it), the wide one.
save_dialog() {
  local id
  for id in $(on_display xdotool search --onlyvisible --name '^Save Image$' 2>/dev/null); do
    on_display xdotool getwindowgeometry "$id" | awk '/Geometry/ {split($2, s, "x"); exit s[1] < 300}' &&
      { echo "$id"; return 0; }
  done
  return 1
}

# Ctrl+S to window $1, then $2 typed as the name in the system's save dialog
# and saved.  While the window still makes the types of a picture it drops
# keys, so Ctrl+S is pressed again until the dialog comes.
save_as() {
  local attempt tries dialog=
  for attempt in $(seq 10); do
    keys_to "$1" ctrl+s
    for tries in $(seq 30); do
      dialog=$(save_dialog) && break 2
      sleep 0.1
    done
  done
  [ -n "$dialog" ] || return 1
  sleep 1  # the dialog fills its list before it takes typing
  keys_to "$dialog" ctrl+a
  on_display xdotool type --delay 10 "$(windows_path "$2")"
  on_display xdotool key Return
}

wait_file() {
  local tries
  for tries in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.2; done
  return 1
}

# Closes the window $1 as Alt+F4 does and waits for its program $2 to end.
close_window() {
  keys_to "$1" alt+F4
  local tries
  for tries in $(seq 100); do kill -0 "$2" 2>/dev/null || { wait "$2"; return 0; }; sleep 0.2; done
  return 1
}

little_endian32() { local h=$1; echo $((16#${h:6:2}${h:4:2}${h:2:2}${h:0:2})); }
hex32() { printf '%02X%02X%02X%02X' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24)); }
state_key='HKCU\Software\Brisolm Imaging\Brisolm Tavren'
stored_state() {
  in_window_prefix reg query "$state_key" /v Main 2>/dev/null | tr -d '\r' | awk '$1 == "Main" {print $3}'
}

# The stored record of a window in the normal state at $2 x $1 (height,
# width), panel 233, view 400 x 400: a window manager would maximise a
# first run's window, and there is none here.
seed_state() {
  local record=01000000$(hex32 "$1")$(hex32 "$2")$(hex32 233)$(hex32 400)$(hex32 400)01010101
  while [ ${#record} -lt 592 ]; do record+=00; done
  in_window_prefix reg add "$state_key" /v Main /t REG_BINARY /d "$record" /f >/dev/null 2>&1
}

# The walk: opened from its command line with a folder of two pictures,
# PgDn to the second, Ctrl+S (the system's save dialog) writes what the
# command writes, resized and closed, it keeps its state and comes back at
# its size.
check_walk() {
  local pictures=$work/walk id pid name saved state before=$failures
  mkdir -p "$pictures"
  cp samples/DSCN0010.jpg "$pictures/DSCN0010.jpg"
  cp samples/DSCN0010.jpg "$pictures/second.jpg"
  seed_state 500 700
  in_window_prefix "$window_program" "$(windows_path "$pictures/DSCN0010.jpg")" >/dev/null 2>&1 &
  pid=$!
  id=$(wait_window "DSCN0010 - Brisolm Tavren") || { fail "walk: no window captioned DSCN0010"; return; }
  local size
  size=$(on_display xdotool getwindowgeometry "$id" | awk '/Geometry/ {print $2}')
  [ "$size" = 700x500 ] || fail "walk: the window opened at $size, not at its stored 700x500"
  keys_to "$id" Next
  for name in $(seq 50); do
    name=$(on_display xdotool getwindowname "$id")
    [ "$name" = "second - Brisolm Tavren" ] && break
    sleep 0.2
  done
  [ "$name" = "second - Brisolm Tavren" ] || fail "walk: PgDn left the caption at '$name'"
  saved=$pictures/walked.jpg
  save_as "$id" "$saved" || fail "walk: Ctrl+S brought no save dialog"
  "$linux" enhance -q --type normal -o "$work/walked-linux.jpg" "$pictures/second.jpg"
  if ! wait_file "$saved"; then
    fail "walk: Ctrl+S wrote no $saved"
  elif ! cmp -s "$saved" "$work/walked-linux.jpg"; then
    fail "walk: the saved picture differs from tavren enhance --type normal"
  fi
  on_display xdotool windowsize --sync "$id" 900 600
  sleep 0.5
  close_window "$id" "$pid" || fail "walk: Alt+F4 did not end the window"
  state=$(stored_state)
  local height width
  height=$(little_endian32 "${state:8:8}")
  width=$(little_endian32 "${state:16:8}")
  [ ${#state} = 592 ] && [ "${state:2:2}" = 00 ] && [ "$width" = 900 ] && [ "$height" = 600 ] ||
    fail "walk: the stored state is $((${#state} / 2)) bytes, state ${state:2:2}, ${width}x$height"
  [ $failures -eq $before ] &&
    echo "windows-check: the window opened DSCN0010 at $size, stepped to second, saved what the" \
       "command writes ($(stat -c %s "$saved") bytes), kept $((${#state} / 2)) bytes for ${width}x$height"
}

# The second start: it comes back at its size; a picture another program
# put on the clipboard is pasted and saved; F1 opens the help page through
# the shell; a file dragged from another program opens.
check_with_other_programs() {
  local helpers=build/windows/tests/windows
  local other=$helpers/other_program.exe recorder=$helpers/open_recorder.exe
  [ -f "$other" ] && [ -f "$recorder" ] || { fail "window: no helpers in $helpers"; return; }
  local pasted=$work/pasted.bmp opened=$work/opened.txt id pid size copied
  copied=$(in_window_prefix "$other" copy "$(windows_path "$pasted")" | tr -d '\r') ||
    { fail "paste: the other program could not copy"; return; }
  # Wine's registry takes classes from the machine's key only; Windows
  # takes the user's first.
  local root ext
  for root in HKCU HKLM; do
    for ext in .html .htm; do
      in_window_prefix reg add "$root\\Software\\Classes\\$ext" /ve /d TavrenCheck.Page /f >/dev/null 2>&1
    done
    in_window_prefix reg add "$root\\Software\\Classes\\TavrenCheck.Page\\shell\\open\\command" /ve \
      /d "\"$(windows_path "$PWD/$recorder")\" \"$(windows_path "$opened")\" \"%1\"" /f >/dev/null 2>&1
  done

  in_window_prefix "$window_program" >/dev/null 2>&1 &
  pid=$!
  id=$(wait_window "Brisolm Tavren") || { fail "restart: no window"; return; }
  size=$(on_display xdotool getwindowgeometry "$id" | awk '/Geometry/ {print $2}')
  [ "$size" = 900x600 ] || fail "restart: the window came back at $size, not 900x600"
  echo "windows-check: the window came back at $size"

  keys_to "$id" ctrl+v
  if wait_window "Pasted Image - Brisolm Tavren" >/dev/null; then
    local saved=$work/pasted.jpg
    save_as "$id" "$saved" || fail "paste: Ctrl+S brought no save dialog"
    "$linux" enhance -q --type normal -o "$work/pasted-linux.jpg" "$pasted"
    if wait_file "$saved" && cmp -s "$saved" "$work/pasted-linux.jpg"; then
      echo "windows-check: Ctrl+V pasted the other program's $copied picture;" \
           "its save is what the command writes"
    else
      fail "paste: the saved paste $saved is missing or differs from tavren enhance of the bitmap"
    fi
  else
    fail "paste: Ctrl+V left the caption at '$(on_display xdotool getwindowname "$id")'"
  fi

  keys_to "$id" F1
  local page
  page=$(windows_path "$PWD/build/windows/dist/BrisolmTavren Help.html")
  wait_file "$opened"
  if [ "$(cat "$opened" 2>/dev/null)" = "$page" ]; then
    echo "windows-check: F1 had the shell open $page"
  else
    fail "help: the shell's open was asked for '$(cat "$opened" 2>/dev/null)', not $page"
  fi

  local geometry x y
  geometry=$(on_display xdotool getwindowgeometry --shell "$id")
  x=$(echo "$geometry" | awk -F= '$1 == "X" {x=$2} $1 == "WIDTH" {w=$2} END {print x + int(w / 2)}')
  y=$(echo "$geometry" | awk -F= '$1 == "Y" {y=$2} $1 == "HEIGHT" {h=$2} END {print y + int(h / 2)}')
  cp samples/DSCN0010.jpg "$work/dropped.jpg"
  in_window_prefix "$other" drag "$(windows_path "$work/dropped.jpg")" "$x" "$y" >/dev/null
  if wait_window "dropped - Brisolm Tavren" >/dev/null; then
    echo "windows-check: a file dragged from another program to $x,$y opened"
  else
    fail "drop: the drop left the caption at '$(on_display xdotool getwindowname "$id")'"
  fi
  close_window "$id" "$pid" || fail "restart: Alt+F4 did not end the window"
}

window_program=$PWD/build/windows/dist/brisolm-tavren.exe
if ! command -v Xvfb >/dev/null || ! command -v xdotool >/dev/null; then
  fail "window: Xvfb or xdotool missing (scripts/deps.sh windows)"
elif ! start_display; then
  fail "window: no X display"
else
  window_started=$SECONDS
  check_walk
  check_with_other_programs
  stop_display
  echo "windows-check: the window's checks took $((SECONDS - window_started)) s"
fi

echo "windows-check: $outputs files written by each, compared"
[ $failures -eq 0 ] || { echo "windows-check: $failures failed"; exit 1; }
echo "windows-check: the Windows build wrote the same bytes and said the same"
