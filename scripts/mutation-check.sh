#!/usr/bin/env bash
# Plants simple faults in the lines changed since BASE, one at a time, rebuilds, runs the tests
# and reports each fault that no test caught (scripts/mutation-check.py has the details and the
# options). BASE defaults to main; on main with nothing uncommitted, to HEAD~1. Slow: not part
# of CI. Each file is restored after its fault, also when the run is interrupted.
#   scripts/mutation-check.sh [BASE] [--max N] [--seed S] [--timeout SECONDS] [--only TEXT] [--list]
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then cmake --preset default >/dev/null; fi
exec python3 scripts/mutation-check.py "$@"
