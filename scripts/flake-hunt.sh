#!/usr/bin/env bash
# Hunts tests that fail by chance: runs the browser suites and every test labelled timing (those
# that wait on a clock or race another process) N times (default 10) on the default build, or on
# the sanitized one with --sanitized, with a busy process on every core beside them, and prints
# what failed in which run. Exits 1 when anything failed; each failed run's whole output stays in
# BUILD/flake-hunt/. With --slow the workbench the page talks to runs at a lower priority than
# the busy processes, so that its answers and steps come late, as on a much slower machine: the
# page must still do what its user last asked for.
#   scripts/flake-hunt.sh [--sanitized] [--slow] [N]
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: scripts/flake-hunt.sh [--sanitized] [--slow] [N]" >&2; exit 2; }
preset=default
while [ $# -gt 0 ]; do
  case "$1" in
    --sanitized) preset=asan ;;
    --slow) export RSM_WORKBENCH_NICE=8 ;;
    --*) usage ;;
    *) break ;;
  esac
  shift
done
runs=${1:-10}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || usage
build=$(python3 -c 'import json, sys
presets = json.load(open("CMakePresets.json"))["configurePresets"]
print(next(p["binaryDir"] for p in presets if p["name"] == sys.argv[1]).replace("${sourceDir}/", ""))' "$preset")

cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" >/dev/null
logs=$build/flake-hunt
rm -rf "$logs"
mkdir -p "$logs"

# The hog: one busy loop per core, ended with the script.
hogs=()
stop_hogs() { [ ${#hogs[@]} -eq 0 ] || kill "${hogs[@]}" 2>/dev/null || true; }
trap stop_hogs EXIT
for _ in $(seq "$(nproc)"); do
  yes >/dev/null &
  hogs+=($!)
done

failures=()
for run in $(seq "$runs"); do
  start=$SECONDS
  log="$logs/run-$run.log"
  if ctest --preset "$preset" -L 'browser|timing' --output-on-failure >"$log" 2>&1; then
    echo "run $run/$runs: all passed ($((SECONDS - start)) s)"
    rm -f "$log"
    continue
  fi
  # CTest names the failed tests; the browser suites' reporter names the failed cases in them.
  failed=()
  while IFS= read -r name; do failed+=("$name"); done < <(
    sed -n 's/^[0-9]*:\(.*\)$/\1/p' "$build"/Testing/Temporary/LastTestsFailed.log 2>/dev/null
    grep -E '^[[:space:]]*not ok [0-9]+ - ' "$log" | sed -E 's/^[[:space:]]*not ok [0-9]+ - /  browser: /' |
      sort -u)
  [ ${#failed[@]} -gt 0 ] || failed=("ctest itself (see the log)")
  echo "run $run/$runs: FAILED ($((SECONDS - start)) s), output in $log"
  for name in "${failed[@]}"; do
    echo "  $name"
    failures+=("run $run: $name")
  done
done

echo "flake hunt: $runs runs under load, ${#failures[@]} failures"
[ ${#failures[@]} -eq 0 ] || { printf '  %s\n' "${failures[@]}"; exit 1; }
