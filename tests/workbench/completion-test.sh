#!/usr/bin/env bash
# The bash completion of rsm-workbench, called as bash calls it, in a folder of design files:
#   completion-test.sh WORKBENCH COMPLETION_SCRIPT
set -uo pipefail
workbench="$(realpath "$1")"
completion="$(realpath "$2")"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-completion.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

mkdir sub
touch studio.zellib notes.txt setups.json "old tower.zel"
"$workbench" --master tower.zel -c 'host add "Lobby Evening"' -c 'host add Sky' >/dev/null ||
  { echo "completion-test: could not make tower.zel" >&2; exit 1; }
# shellcheck source=/dev/null
source "$completion"

# The candidates for the command line given as bash splits it (the last word is being completed),
# sorted, one a line.
candidates() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _rsm_workbench 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
}

# expect 'CAND|CAND...' WORD...: exactly these candidates.
expect() {
  local want got
  want="$(tr '|' '\n' <<<"$1" | LC_ALL=C sort)"
  shift
  got="$(candidates "$@")"
  if [ "$got" != "$want" ]; then
    printf 'completion-test: for [%s]\n  expected: %s\n  got:      %s\n' "$*" \
      "$(paste -sd'|' <<<"$want")" "$(paste -sd'|' <<<"$got")" >&2
    failures=$((failures + 1))
  fi
}

# Options, and files by extension for the options that take one.
expect '--master|--module' rsm-workbench --m
expect 'old tower.zel|sub/|tower.zel' rsm-workbench --master ''
expect 'tower.zel' rsm-workbench --master = to
expect 'studio.zellib|sub/' rsm-workbench -c list --library ''
expect 'de|ja' rsm-workbench --culture ''
expect 'notes.txt' rsm-workbench --xml no

# Commands inside -c: unquoted only the command; quoted every word. Where more words follow a
# single match, the second candidate with a blank keeps readline from closing the quote.
expect 'library|list' rsm-workbench -c li
expect "answer|answer " rsm-workbench -c "'ans"
expect "answer no|answer yes" rsm-workbench -c "'answer "
expect "help quit" rsm-workbench -c "'help qu"
expect "host add|host add " rsm-workbench -c "'host a"
expect 'open "old tower.zel"|open sub/|open tower.zel' rsm-workbench -c "'open "
expect 'open "old tower.zel"' rsm-workbench -c "'open old"
expect 'import setups.json|import sub/' rsm-workbench -c "'import "
expect 'import setups.json --replace' rsm-workbench -c "'import setups.json --"

# Setup names from the master file, quoted as the command language wants them.
expect 'edit "Lobby Evening"|edit "Lobby Evening" ' rsm-workbench --master tower.zel -c "'edit Lo"
expect 'show \"Lobby Evening\"' rsm-workbench --master = tower.zel -c '"show \"Lob'
expect 'save Sky --force' rsm-workbench --master tower.zel -c "'save Sky --"
expect 'edit Sky BlurMethod|edit Sky BlurPasses' rsm-workbench -c "'edit Sky Blur"
expect 'merge-from-library Sky --take library|merge-from-library Sky --take local' \
  rsm-workbench -c "'merge-from-library Sky --take "
expect 'merge-from-library Sky BlurPasses=library|merge-from-library Sky BlurPasses=local' \
  rsm-workbench -c "'merge-from-library Sky BlurPasses="
expect 'host add "A b" Stereo=|host add "A b" Stereo= ' \
  rsm-workbench -c "'host add \"A b\" Stereo"
expect 'history|history-limit' rsm-workbench -c his
expect 'diff Sky "Lobby Evening"|diff Sky --library|diff Sky --version|diff Sky Sky' \
  rsm-workbench --master tower.zel -c "'diff Sky "

# Every command the workbench has, and no other.
help_commands="$("$workbench" -c help | sed -n 's/^\([a-z-][a-z-]*\).*/\1/p' | LC_ALL=C sort -u)"
completed="$(candidates rsm-workbench -c "'" | LC_ALL=C sort -u)"
if [ "$help_commands" != "$completed" ]; then
  echo "completion-test: commands differ from help:" >&2
  diff <(echo "$help_commands") <(echo "$completed") >&2
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || exit 1
echo "completion-test: ok"
