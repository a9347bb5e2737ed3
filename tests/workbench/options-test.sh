#!/usr/bin/env bash
# The options of rsm-workbench are the same in --help, in the man page's synopsis, in its OPTIONS,
# and in the bash completion; the man page renders without a warning.
#   options-test.sh WORKBENCH MAN_PAGE COMPLETION_SCRIPT
set -uo pipefail
workbench="$1" man_page="$2" completion="$3"
failures=0

# Option names in text, one a line, sorted: "-c", "--master" (not "-" alone, nor a value).
options_in() {
  grep -oE -- '(^|[][ ,|(])--?[a-z][a-z-]*' | sed 's/^[^-]*//' | LC_ALL=C sort -u
}
# Man page source made plain: dashes, font changes and macro names.
plain() { sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/^\.[A-Z]* //'; }

help_options="$("$workbench" --help | options_in)"
synopsis_options="$(sed -n '/^\.SH SYNOPSIS/,/^\.SH/p' "$man_page" | plain | options_in)"
# The tag line after each .TP of the OPTIONS section.
described_options="$(sed -n '/^\.SH OPTIONS/,/^\.SH/p' "$man_page" | sed -n '/^\.TP/{n;p}' | plain |
  options_in)"
# shellcheck source=/dev/null
completed_options="$(source "$completion"; COMP_WORDS=(rsm-workbench -); COMP_CWORD=1
  _rsm_workbench; printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort -u)"

for other in synopsis_options described_options completed_options; do
  if [ "${!other}" != "$help_options" ]; then
    echo "options-test: --help and $other differ (< --help, > $other):" >&2
    diff <(echo "$help_options") <(echo "${!other}") >&2
    failures=$((failures + 1))
  fi
done
[ -n "$help_options" ] || { echo "options-test: no options in --help" >&2; failures=$((failures + 1)); }

# As lintian checks it: any warning of groff fails.
if command -v man >/dev/null; then
  warnings="$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$man_page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "options-test: man page warnings: $warnings" >&2; failures=$((failures + 1)); }
fi

[ "$failures" -eq 0 ] || exit 1
echo "options-test: ok ($(echo $help_options))"
