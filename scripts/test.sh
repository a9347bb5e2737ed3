#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: once plain, once under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/check-format.sh
# Who may include whom: the table in docs/architecture.md.
python3 scripts/check-layering.py
jobs=$(nproc)

cmake --preset default >/dev/null
cmake --build --preset default -j"$jobs"
ctest --preset default
# A short crash-consistency run; scripts/kill-test.sh 100 runs the full one.
scripts/kill-test.sh 20
# Three sessions on one file, shortened; scripts/shared-file-test.sh runs 10 minutes.
scripts/shared-file-test.sh 30
# Memory over a long session, shortened, with deletes; scripts/soak-test.sh runs 50,000 saves.
scripts/soak-test.sh 5000 --mix

# The Debian package, checked with dpkg-deb and lintian; CI also installs and removes it.
deb="$(scripts/package.sh)"
scripts/check-package.sh "$deb" ${CI:+--install}

cmake --preset asan >/dev/null
cmake --build --preset asan -j"$jobs"
ctest --preset asan
