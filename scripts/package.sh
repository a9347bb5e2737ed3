#!/usr/bin/env bash
# Packages the default build (build/, configured by the preset default: Debian's hardening flags
# and the package's install rules) as the Debian package rsm-workbench with CPack, in build-deb/,
# and prints its path (and only that on standard output). What the package holds is built first
# when it is not built yet; nothing is compiled a second time for the package.
#   scripts/package.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/steps.sh
build="${1:-build}"

# Configured again, so that the Debian changelog takes the last commit's date.
configure() {
  if [ -f "$build/CMakeCache.txt" ]; then cmake "$build"; else cmake --preset default; fi
  [ -f "$build/CPackConfig.cmake" ] ||
    { echo "package.sh: $build is not configured to be packaged (cmake --preset default)" >&2; exit 1; }
}
build_programs() { cmake --build "$build" -j"$(nproc)" --target rsm-workbench rsm-audit; }
pack() {
  rm -f build-deb/rsm-workbench_*.deb
  cpack --config "$build/CPackConfig.cmake" -B "$PWD/build-deb"
}

steps_begin 3
step "configure" configure >&2
step "build what the package holds" build_programs >&2
step "cpack" pack >&2
steps_end
realpath build-deb/rsm-workbench_*.deb
