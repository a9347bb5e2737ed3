#!/usr/bin/env bash
# Builds the benchmarks optimised (build-bench/), runs them and prints one table: each stage of a
# load against its floor, each command against itself at another size. The whole report goes to
# build-bench/bench-report.txt. Arguments go to ornr-bench (e.g. --small, --benchmark_filter=...).
#
# Then the programs as a person runs them beside their floors (ornr-floor-table): the load, `show`,
# the audit, a deploy's preview and its apply (each side of a pair on a fresh copy of the project)
# and the load's peak memory, each the median of pairs run in turn.
#
# scripts/bench.sh floors [--runs N] [--small] [--only load,show,audit,deploy]: that table alone,
# or some of its rows.
#
# scripts/bench.sh page [--small] [--runs N] [--sizes A,B] [--build DIR]: the browser panel's
# benchmark instead, in Chromium: each action at 50 and at 10,000 setups (median of 5 runs) and
# their ratio, one table. --small: 5 and 50 setups, once. --build DIR: the workbench built there
# (e.g. build, as CI has it) rather than an optimised build in build-bench/.
#
# scripts/bench.sh python [--small] [--runs N] [--build DIR]: the Python package against its
# floors (reading every value of 10,000 setups against C++ on the same host read path, ornr.audit
# against rsm-audit over 2,000 files), paired in one run, medians of the ratios
# (bench/python-bench.py). --build DIR: the build there rather than an optimised one.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >/dev/null
# g++ 12 at -O3 reports -Wrestrict inside std::string for `"text" + std::string` that cannot
# happen; it is no error here.
configure() {
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DORNR_BUILD_TESTS=OFF \
    -DCMAKE_CXX_FLAGS=-Wno-restrict >/dev/null
}

if [ "${1:-}" = python ]; then
  shift
  if [[ " $* " != *" --build "* ]]; then
    configure
    cmake --build build-bench --target ornr_python ornr-python-bench rsm-audit -j"$(nproc)" >/dev/null
    set -- --build build-bench "$@"
  fi
  exec /usr/bin/python3 bench/python-bench.py "$@"
fi

if [ "${1:-}" = page ]; then
  shift
  build=""
  args=()
  while [ $# -gt 0 ]; do
    if [ "$1" = --build ]; then
      build="$2"
      shift 2
    else
      args+=("$1")
      shift
    fi
  done
  if [ -z "$build" ]; then
    configure
    cmake --build build-bench --target rsm-workbench -j"$(nproc)" >/dev/null
    build=build-bench
  fi
  workbench="$(cd "$build" && pwd)/workbench/rsm-workbench"
  cd tests/browser
  RSM_WORKBENCH="$workbench" exec node page-bench.js "${args[@]}"
fi

if [ "${1:-}" = floors ]; then
  shift
  configure
  cmake --build build-bench --target ornr-floor-table -j"$(nproc)" >/dev/null
  exec build-bench/bench/ornr-floor-table "$@"
fi

configure
cmake --build build-bench --target ornr-bench ornr-floor-table -j"$(nproc)" >/dev/null
build-bench/bench/ornr-bench --benchmark_color=false "$@" >build-bench/bench-report.txt
sed -n '/^| Measurement/,$p' build-bench/bench-report.txt
small=()
for arg in "$@"; do [ "$arg" = --small ] && small=(--small); done
build-bench/bench/ornr-floor-table "${small[@]}"
