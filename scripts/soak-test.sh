#!/usr/bin/env bash
# Memory over a long session: one workbench session edits and saves a setup SAVES times (default
# 50000) and the growth of its resident size is printed; exits 1 when it is over 2 MiB. --mix
# also makes, renames, duplicates and deletes setups along the way. The design file lives in
# /dev/shm when there is one: the figure does not depend on the disk, the run time does.
set -euo pipefail
cd "$(dirname "$0")/.."
saves=${1:-50000}
[[ "$saves" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/soak-test.sh [SAVES] [--mix]" >&2; exit 2; }
shift || true
workbench=${RSM_WORKBENCH:-build/workbench/rsm-workbench}
if [ ! -x "$workbench" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$(nproc)" --target rsm-workbench >/dev/null
fi
base=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
folder=$(mktemp -d "$base/soak-test-XXXXXX")
trap 'rm -rf "$folder"' EXIT
python3 scripts/soak-test.py "$workbench" "$folder" "$saves" 2 "$@"
