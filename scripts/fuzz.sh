#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz", only the targets and what they link) and
# runs each for SECONDS (default 20), as many at once as there are cores, keeping what they learn
# in build-fuzz/corpus/. Exits non-zero on a finding; the input that broke a target is left in
# build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: panel-document stored-setup
#                                             setups-document workbench-line command-sequence
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(panel-document stored-setup setups-document workbench-line command-sequence)

configure() { cmake --preset fuzz >/dev/null; }
build_targets() { cmake --build --preset fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz-}"; }

# Never fails itself: the target's exit status goes to a file beside its log.
run_one() {
  local target=$1 corpus=build-fuzz/corpus/$1 options=()
  mkdir -p "$corpus"
  # The stand-in host keeps every file it opened for the life of the process, on purpose.
  [ "$target" != command-sequence ] || options=(-detect_leaks=0)
  local status=0
  build-fuzz/fuzz/fuzz-$target "${options[@]}" "$corpus" fuzz/seeds/$target \
    -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build-fuzz/findings/$target- 2>build-fuzz/fuzz-$target.log || status=$?
  echo "$status" >build-fuzz/fuzz-$target.status
}

status=0
run_all() {
  mkdir -p build-fuzz/findings
  local running=0 cores target
  cores=$(nproc)
  for target in "${targets[@]}"; do
    run_one "$target" &
    running=$((running + 1))
    if [ "$running" -ge "$cores" ]; then
      wait -n
      running=$((running - 1))
    fi
  done
  wait
  for target in "${targets[@]}"; do
    echo "== fuzz-$target for ${seconds}s"
    if [ "$(cat build-fuzz/fuzz-$target.status)" != 0 ]; then
      status=1
      tail -40 build-fuzz/fuzz-$target.log
    fi
    grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' \
      build-fuzz/fuzz-$target.log || true
  done
}

steps_begin 4
step "packages" scripts/install-deps.sh --fuzz
step "configure (preset fuzz)" configure
step "build the fuzz targets" build_targets
step "run ${#targets[@]} targets for ${seconds}s each" run_all
steps_end
exit $status
