#!/usr/bin/env bash
# The bash completion of tessary-cfg: commands, then files, then the file's sections and keys.
# Usage: completion.sh FOLDER_OF_TESSARY_CFG COMPLETION_SCRIPT
set -u
PATH=$1:$PATH
source "$2"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '[Warbird]\nBulletSpeed=1\nGravity=2\n[Misc]\nA=1\n' >"$dir/arena.cfg"
fails=0
expect() {  # expect WANT WORD...: completes the last word
  local want=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _tessary_cfg
  local got="${COMPREPLY[*]}"
  if [ "$got" != "$want" ]; then
    echo "completing '$*': got '$got', want '$want'"
    fails=1
  fi
}
expect "set sections" tessary-cfg s
expect "check" tessary-cfg ch
expect "diff" tessary-cfg d
expect "$dir/arena.cfg" tessary-cfg diff "$dir/arena.cfg" "$dir/ar"  # the second file
expect "" tessary-cfg diff "$dir/arena.cfg" "$dir/arena.cfg" ""
expect "$dir/arena.cfg" tessary-cfg get "$dir/ar"
expect "Warbird Misc" tessary-cfg keys "$dir/arena.cfg" ""
expect "Misc" tessary-cfg lines "$dir/arena.cfg" M
expect "Warbird" tessary-cfg get "$dir/arena.cfg" w  # letter case aside, as the file reads names
expect "BulletSpeed Gravity" tessary-cfg set "$dir/arena.cfg" Warbird ""
expect "" tessary-cfg sections "$dir/arena.cfg" ""
[ $fails -eq 0 ] && echo "completion: as expected"
exit $fails
