#!/usr/bin/env bash
# Installs the Debian packages that are missing, for one of three uses:
#   scripts/install-deps.sh --demo    building the programs and running the demo (scripts/demo.sh)
#   scripts/install-deps.sh           also every test: GoogleTest, the browser and its fonts, the
#                                     page's bundler, lintian, npm's packages, pybind11 and pytest
#                                     for the Python package (scripts/test.sh)
#   scripts/install-deps.sh --fuzz    also clang's libFuzzer (scripts/fuzz.sh)
set -euo pipefail

use=tests
case "${1:-}" in
  --demo) use=demo ;;
  --fuzz) use=fuzz ;;
  "") ;;
  *) echo "usage: scripts/install-deps.sh [--demo | --fuzz]" >&2; exit 2 ;;
esac

# The demo's own: a compiler, the libraries the programs link, and sqlite3 for its damaged drawing.
packages=(build-essential cmake pkg-config libsqlite3-dev sqlite3 libpugixml-dev libedit-dev
  libcpp-httplib-dev nlohmann-json3-dev)
if [ "$use" != demo ]; then
  packages+=(googletest libgtest-dev libgmock-dev libbenchmark-dev libxml2-dev clang-format locales
    chromium python3 python3-jsonschema dpkg-dev file lintian man-db bash-completion fonts-noto-cjk
    esbuild python3-dev pybind11-dev python3-pytest)
fi
[ "$use" != fuzz ] || packages+=(clang libclang-rt-14-dev)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The tests run the module under a comma-decimal locale; localedef needs no edited locale.gen.
comma_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE.utf8' && return 0
  echo "Generating the de_DE.UTF-8 locale"
  "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

# The browser tests' JavaScript packages, pinned by the lock file; the browser is Debian's.
browser_test_packages() {
  if ! command -v npm >/dev/null 2>&1; then
    # Only when missing: some machines' Node.js package conflicts with Debian's npm.
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends npm
  fi
  local dir
  dir="$(cd "$(dirname "$0")/../tests/browser" && pwd)"
  # Also when the lock file has gained a package since the last install.
  if ! (cd "$dir" && npm ls --depth=0 >/dev/null 2>&1); then
    echo "Installing the browser tests' packages"
    (cd "$dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
[ "$use" = demo ] && exit 0
comma_locale
browser_test_packages
