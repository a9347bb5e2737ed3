#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (preset "fuzz") and runs each for SECONDS (default 20),
# one after the other, keeping what they learn in build-fuzz/corpus/. Exits non-zero on a finding;
# the input that broke a target is left in build-fuzz/findings/.
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: panel-document stored-setup
#                                             setups-document workbench-line command-sequence
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(panel-document stored-setup setups-document workbench-line command-sequence)

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target "${targets[@]/#/fuzz-}"

mkdir -p build-fuzz/findings
status=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  options=()
  # The stand-in host keeps every file it opened for the life of the process, on purpose.
  [ "$target" != command-sequence ] || options=(-detect_leaks=0)
  echo "== fuzz-$target for ${seconds}s"
  if ! build-fuzz/fuzz/fuzz-$target "${options[@]}" "$corpus" fuzz/seeds/$target \
      -max_total_time="$seconds" \
      -print_final_stats=1 -artifact_prefix=build-fuzz/findings/$target- \
      2>build-fuzz/fuzz-$target.log; then
    status=1
    tail -40 build-fuzz/fuzz-$target.log
  fi
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' \
    build-fuzz/fuzz-$target.log || true
done
exit $status
