#!/usr/bin/env bash
# The browser panel's server and what it links (HTTP, TLS) are loaded only by a session that asks
# for the panel: the workbench does not link them, and a session without --panel never opens them.
#   page-library-test.sh WORKBENCH PAGE_LIBRARY
set -uo pipefail
workbench="$(realpath "$1")" page_library="$(realpath "$2")"
work="$(mktemp -d "${TMPDIR:-/tmp}/rsm-page-library.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "page-library-test: $*" >&2; failures=$((failures + 1)); }
web='libcpp-httplib|libssl|libcrypto'

linked="$(ldd "$workbench")"
! grep -Eq "$web" <<<"$linked" || fail "the workbench links the page's libraries: $linked"
grep -q libcpp-httplib <<<"$(ldd "$page_library")" ||
  fail "the page library does not link the HTTP library"

# The loader says which files it opens, dlopen's too.
cd "$work" || exit 1
opened="$(LD_DEBUG=files "$workbench" --master m.zel -c 'host add A' -c list 2>&1 >/dev/null)"
grep -q 'file=.*libornrender' <<<"$opened" || fail "the loader's report shows no module: $opened"
! grep -Eq "file=.*(rsm-workbench-page|$web)" <<<"$opened" ||
  fail "a session without --panel loaded the page's libraries"
opened="$(echo quit | LD_DEBUG=files "$workbench" --master m.zel --panel 2>&1 >/dev/null)"
grep -q 'file=.*rsm-workbench-page' <<<"$opened" || fail "--panel did not load the page library"
grep -q 'file=.*libcpp-httplib' <<<"$opened" || fail "--panel did not load the HTTP library"

[ "$failures" -eq 0 ] && echo "page-library-test: ok"
exit "$failures"
