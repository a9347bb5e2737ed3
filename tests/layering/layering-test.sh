#!/usr/bin/env bash
# The layering check on small trees under the repository's own rules: it passes what the rules
# allow and fails, naming file and line, on a forbidden include and on a file of no room.
#   layering-test.sh SOURCE_DIR
set -euo pipefail
source_dir="$(cd "$1" && pwd)"
check="$source_dir/scripts/check-layering.py"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-layering.XXXXXX")"
trap 'rm -rf "$work"' EXIT
fail() { echo "layering-test: $*" >&2; exit 1; }

python3 "$check" "$source_dir" >/dev/null || fail "the repository itself breaks its rules"

# tree NAME FILE=INCLUDE...: a tree with the real rules and one file per pair including the other.
tree() {
  local dir="$work/$1"; shift
  mkdir -p "$dir/docs"
  cp "$source_dir/docs/architecture.md" "$dir/docs/"
  for pair in "$@"; do
    local file="${pair%%=*}" included="${pair#*=}"
    mkdir -p "$dir/$(dirname "$file")" "$dir/$(dirname "$included")"
    touch "$dir/$included"
    printf '#include "%s"\n' "$included" >>"$dir/$file"
  done
  echo "$dir"
}

expect() {
  local want="$1" name="$2"; shift 2
  local dir out status=0
  dir="$(tree "$name" "$@")"
  out="$(python3 "$check" "$dir" 2>&1)" || status=$?
  case "$want" in
    pass) [ "$status" -eq 0 ] || fail "$name: refused: $out" ;;
    *) [ "$status" -eq 1 ] || fail "$name: allowed, expected a refusal"
       grep -qF "$want" <<<"$out" || fail "$name: expected \"$want\", got: $out" ;;
  esac
}

expect pass allowed manager/A.cpp=host/ZelFile.h bridge/B.cpp=panel/Panel.h \
  host/store/C.cpp=support/Utf.h workbench/page/D.cpp=host/controls/HostControls.h \
  panel/E.cpp=settings/OrnSettingsCatalogue.def tests/F.cpp=manager/G.h
expect "host/store/Bad.cpp:1: the stand-in host may not include manager/SetupManager.h" \
  host-includes-module host/store/Bad.cpp=manager/SetupManager.h
expect "manager/Bad.cpp:1: the module may not include panel/Panel.h" \
  module-includes-panel manager/Bad.cpp=panel/Panel.h
expect "the module may not include host/session/HostState.h" \
  module-includes-stand-in viewmodel/Bad.cpp=host/session/HostState.h
expect "the panel may not include workbench/Session.h" panel-includes-workbench \
  panel/Bad.cpp=workbench/Session.h
expect "somewhere/Lost.cpp: in no room" file-of-no-room somewhere/Lost.cpp=support/Utf.h
echo "layering-test: passed"
