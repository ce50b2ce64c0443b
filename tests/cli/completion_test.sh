#!/usr/bin/env bash
# Tab completion of `tavren` as bash offers it: commands, options, their
# values, and picture files and folders by extension.
# Usage: completion_test.sh COMPLETION_FILE

framework=/usr/share/bash-completion/bash_completion
if [ ! -r "$framework" ]; then
  echo "bash-completion is not installed; skipped"
  exit 77
fi
. "$framework"
. "$1"

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder"
touch photo.jpg SHOT.JPG scan.tiff notes.txt
mkdir holiday

failures=0

# What bash offers for the words given (the last one is being completed),
# sorted and on one line.  A lone "=" is glued to its neighbours, as bash
# splits "--type=deep" into three words.
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE=$1
  local previous=$1 word
  for word in "${@:2}"; do
    if [ "$word" = = ] || [ "$previous" = = ]; then COMP_LINE+=$word; else COMP_LINE+=" $word"; fi
    previous=$word
  done
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _tavren tavren "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
  local wanted=$1
  shift
  local got
  got=$(offered "$@")
  if [ "$got" != "$wanted" ]; then
    echo "completion of '$*': got '$got', wanted '$wanted'" >&2
    failures=$((failures + 1))
  fi
}

expect '--help --version enhance info' tavren ''
expect 'enhance' tavren en
expect 'deep light normal original' tavren enhance --type ''
expect 'strong' tavren enhance --lumora=s
expect 'normal off strong weak' tavren enhance --clarivex = ''
expect '--type' tavren enhance --ty
expect '--clarivex --color-distortion-suppression' tavren enhance --c
expect '--help --max-megapixels' tavren info -
expect '' tavren info --max-megapixels ''
expect 'SHOT.JPG holiday photo.jpg scan.tiff' tavren enhance --type deep ''
expect 'SHOT.JPG holiday photo.jpg scan.tiff' tavren info ''
expect 'SHOT.JPG holiday photo.jpg' tavren enhance -o ''
expect 'holiday' tavren enhance --out-dir ''
expect '' tavren enhance -j ''
expect '' tavren enhance -- -
expect '' tavren --version ''

[ "$failures" = 0 ] || exit 1
echo "completion: ok"
