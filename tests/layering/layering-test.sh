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
expect "host/store/Bad.cpp:1: the host store may not include manager/SetupManager.h" \
  host-includes-module host/store/Bad.cpp=manager/SetupManager.h
expect "manager/Bad.cpp:1: the module may not include panel/Panel.h" \
  module-includes-panel manager/Bad.cpp=panel/Panel.h
expect "the module may not include host/session/HostState.h" \
  module-includes-stand-in viewmodel/Bad.cpp=host/session/HostState.h
expect "the panel may not include workbench/Session.h" panel-includes-workbench \
  panel/Bad.cpp=workbench/Session.h
expect "somewhere/Lost.cpp: in no room" file-of-no-room somewhere/Lost.cpp=support/Utf.h

# The stand-in host's rooms are layers: each may include those below it, and HostControls.h (the
# declarations every room implements a part of) sits under all of them.
expect pass host-downward host/store/A.cpp=host/controls/HostControls.h \
  host/session/B.cpp=host/store/DesignFile.h host/history/C.cpp=host/session/HostState.h \
  host/provenance/D.cpp=host/session/HostState.h host/exchange/E.cpp=host/provenance/Provenance.h \
  host/controls/F.cpp=host/exchange/RecoveryFile.h host/controls/G.cpp=host/history/History.h
# Upward, and between history and provenance, which stand side by side.
n=0
while read -r from to; do
  expect "$from:1: the host $(cut -d/ -f2 <<<"$from") may not include $to" "back-$((n += 1))" \
    "$from=$to"
done <<'BACK'
host/store/Bad.cpp host/history/History.h
host/store/Bad.cpp host/provenance/Provenance.h
host/store/Bad.cpp host/session/HostState.h
host/session/Bad.cpp host/provenance/Provenance.h
host/session/Bad.cpp host/exchange/RecoveryFile.h
host/history/Bad.cpp host/provenance/Provenance.h
host/provenance/Bad.cpp host/history/History.h
host/provenance/Bad.cpp host/exchange/SetupsDocument.h
host/exchange/Bad.cpp host/controls/MasterFile.h
BACK
# Only the declarations of the controls are at the bottom, not the room that holds them.
expect "the host controls interface may not include host/store/DesignFile.h" \
  controls-interface-includes-store host/controls/HostControls.h=host/store/DesignFile.h
echo "layering-test: passed"
