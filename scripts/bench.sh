#!/usr/bin/env bash
# Builds the benchmarks optimised (build-bench/), runs them and prints one table: each stage of a
# load against its floor, each command against itself at another size. The whole report goes to
# build-bench/bench-report.txt. Arguments go to ornr-bench (e.g. --small, --benchmark_filter=...).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
# g++ 12 at -O3 reports -Wrestrict inside std::string for `"text" + std::string` that cannot
# happen; it is no error here.
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORNR_BUILD_TESTS=OFF \
  -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
cmake --build build-bench --target ornr-bench rsm-workbench -j"$(nproc)" >/dev/null
build-bench/bench/ornr-bench --benchmark_color=false "$@" >build-bench/bench-report.txt
sed -n '/^| Measurement/,$p' build-bench/bench-report.txt
