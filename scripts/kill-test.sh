#!/usr/bin/env bash
# Crash consistency: N workbench runs (default 100), half of them two sessions at once on one
# design file, each killed with SIGKILL at a random moment, every fifth an rsm-audit killed while
# it merges a project's drawings; every file is then checked for damage and against the commands
# that completed (a drawing: as it was, or completely fixed). Prints "N runs, C corrupt, L lost,
# H half-written" and exits 1 when any is not zero. KILL_TEST_SEED repeats a run's choices.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-100}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/kill-test.sh [RUNS]" >&2; exit 2; }
workbench=${RSM_WORKBENCH:-build/workbench/rsm-workbench}
if [ ! -x "$workbench" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target rsm-workbench rsm-audit >/dev/null
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/kill-test-XXXXXX")
status=0
python3 scripts/kill-test.py "$workbench" "$folder" "$runs" ${KILL_TEST_SEED:+"$KILL_TEST_SEED"} ||
  status=$?
# The files of a damaged run stay for a look.
if [ "$status" -eq 0 ]; then rm -rf "$folder"; else echo "files kept in $folder" >&2; fi
exit "$status"
