#!/usr/bin/env bash
# Installs what the demo needs and is missing, builds the programs it runs (the workbench,
# rsm-audit, the module and the stand-in host and panel; no tests), and runs the workbench on the
# built-in demo in FOLDER (default demo/). scripts/test.sh adds and builds the rest.
#   scripts/demo.sh [FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh
folder="${1:-demo}"

# A build folder set up before (by the preset default, with its tests) stays as it is.
configure() {
  if [ -f build/CMakeCache.txt ]; then cmake build >/dev/null; else cmake --preset demo >/dev/null; fi
}
build_programs() { cmake --build build -j"$(nproc)" --target rsm-workbench rsm-audit; }

steps_begin 4
step "packages the demo needs" scripts/install-deps.sh --demo
step "configure" configure
step "build the workbench, rsm-audit and the module" build_programs
step "the demo" workbench/demo/run-demo.sh build "$folder"
steps_end
