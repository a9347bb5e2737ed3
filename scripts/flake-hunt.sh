#!/usr/bin/env bash
# Hunts tests that fail by chance: runs the browser suites and every test labelled timing (those
# that wait on a clock or race another process) N times (default 10) on the default build, with a
# busy process on every core beside them, and prints what failed in which run. Exits 1 when
# anything failed; each failed run's whole output stays in build/flake-hunt/.
#   scripts/flake-hunt.sh [N]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "usage: scripts/flake-hunt.sh [N]" >&2; exit 2; }

cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" >/dev/null
logs=build/flake-hunt
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
  if ctest --preset default -L 'browser|timing' --output-on-failure >"$log" 2>&1; then
    echo "run $run/$runs: all passed ($((SECONDS - start)) s)"
    rm -f "$log"
    continue
  fi
  # CTest names the failed tests; the browser suites' reporter names the failed cases in them.
  failed=()
  while IFS= read -r name; do failed+=("$name"); done < <(
    sed -n 's/^[0-9]*:\(.*\)$/\1/p' build/Testing/Temporary/LastTestsFailed.log 2>/dev/null
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
