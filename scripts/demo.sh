#!/usr/bin/env bash
# Installs what is missing, builds, and runs the workbench on the built-in demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"
exec workbench/demo/run-demo.sh build "${1:-demo}"
