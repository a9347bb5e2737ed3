#!/usr/bin/env bash
# Builds the Debian package rsm-workbench with CPack in build-deb/ and prints its path (and only
# that on standard output):
#   scripts/package.sh [BUILD_DIR]
# The build is its own: installed under /usr, the libraries in the package's own folder of the
# multiarch library folder, compiled with Debian's hardening flags, without tests.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-deb}"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
# Debian's flags (hardening among them), as a Debian build takes them.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_LIBDIR="lib/$multiarch/rsm-workbench" -DORNR_DEBIAN_PACKAGE=ON \
  -DCMAKE_STRIP="$PWD/cmake/debian-strip.sh" -DORNR_BUILD_TESTS=OFF -DORNR_BUILD_BENCH=OFF >&2
cmake --build "$build" -j"$(nproc)" >&2
rm -f "$build"/rsm-workbench_*.deb
(cd "$build" && cpack -G DEB >&2)
realpath "$build"/rsm-workbench_*.deb
