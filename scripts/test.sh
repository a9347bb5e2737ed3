#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plain, once under AddressSanitizer
# and UndefinedBehaviorSanitizer, with short crash, shared-file and soak runs and the Debian
# package's checks. Each step prints its time.
#   scripts/test.sh            all of it, as CI runs it
#   scripts/test.sh --quick    the plain build and its tests alone, for a developer's loop
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh
quick=false
case "${1:-}" in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
jobs=$(nproc)

checks() {
  scripts/check-format.sh
  # Who may include whom: the table in docs/architecture.md.
  python3 scripts/check-layering.py
}
plain_build() {
  cmake --preset default >/dev/null
  cmake --build --preset default -j"$jobs"
}
# The Debian package from the plain build, checked with dpkg-deb and lintian; CI also installs
# and removes it.
package() {
  local deb
  deb="$(scripts/package.sh)"
  scripts/check-package.sh "$deb" ${CI:+--install}
}
# A preset's tests; when some fail, what failed is said again at the end, where a cut log keeps it.
tests_of() {
  ctest --preset "$1" && return 0
  python3 scripts/failure-digest.py --preset "$1"
  return 1
}
# The crash, shared-file and soak runs mostly wait, as the plain tests do, so they run beside
# them; what they print comes after the tests' own, each run with its time.
short_runs() {
  local start run
  for run in "crash consistency, 20 killed runs|scripts/kill-test.sh 20" \
             "three sessions on one file, 30 s|scripts/shared-file-test.sh 30" \
             "memory over 5,000 saves|scripts/soak-test.sh 5000 --mix"; do
    start=$SECONDS
    echo "-- ${run%%|*}"
    ${run#*|} || { echo "-- ${run%%|*} failed"; return 1; }
    echo "-- ${run%%|*} ... $((SECONDS - start))s"
  done
}
plain_tests_and_short_runs() {
  local log status=0 runs=0
  log=$(mktemp "${TMPDIR:-/tmp}/short-runs.XXXXXX")
  short_runs >"$log" 2>&1 &
  local pid=$!
  tests_of default || status=$?
  wait "$pid" || runs=$?
  cat "$log" >&2
  rm -f "$log"
  [ "$runs" -eq 0 ] || echo "the crash, shared-file or soak run failed (above)" >&2
  [ "$status" -eq 0 ] && [ "$runs" -eq 0 ]
}
asan_build() {
  cmake --preset asan >/dev/null
  cmake --build --preset asan -j"$jobs"
}

if $quick; then
  steps_begin 3
  step "packages" scripts/install-deps.sh
  step "plain build" plain_build
  step "plain tests" tests_of default
  steps_end
  exit 0
fi

steps_begin 7
step "packages" scripts/install-deps.sh
step "format and layering checks" checks
step "plain build" plain_build
# Short runs; without an argument each script runs its full length (see README).
step "plain tests, beside them 20 killed runs, three sessions on one file and 5,000 saves" \
  plain_tests_and_short_runs
step "Debian package" package
step "sanitized build" asan_build
step "sanitized tests" tests_of asan
steps_end
