#!/usr/bin/env bash
# Sessions sharing one design file: SESSIONS workbench sessions (default 3) edit, save, rename,
# duplicate and delete setups of their own names on one file for SECONDS (default 600) with no
# pause. Prints "S sessions, T s: W writes, L lock failures, E other errors, X lost, integrity ok"
# and exits 1 when any failure, loss or damage is found. SHARED_FILE_TEST_SEED repeats a run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
sessions=${2:-3}
[[ "$seconds" =~ ^[1-9][0-9]*$ && "$sessions" =~ ^[1-9]$ ]] ||
  { echo "usage: scripts/shared-file-test.sh [SECONDS] [SESSIONS]" >&2; exit 2; }
workbench=${RSM_WORKBENCH:-build/workbench/rsm-workbench}
if [ ! -x "$workbench" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target rsm-workbench >/dev/null
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/shared-file-test-XXXXXX")
status=0
python3 scripts/shared-file-test.py "$workbench" "$folder" "$seconds" "$sessions" \
  ${SHARED_FILE_TEST_SEED:+"$SHARED_FILE_TEST_SEED"} || status=$?
# The file of a failed run stays for a look.
if [ "$status" -eq 0 ]; then rm -rf "$folder"; else echo "files kept in $folder" >&2; fi
exit "$status"
