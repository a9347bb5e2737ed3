#!/usr/bin/env bash
# Every form of every command in the workbench's command table is in the man page's command
# list and in README's command table, and nothing else is there.
#   command-docs-test.sh COMMAND_LISTS MAN_PAGE README
set -uo pipefail
lists="$1" man_page="$2" readme="$3"
failures=0

table_forms="$("$lists" forms | LC_ALL=C sort)"
[ -n "$table_forms" ] || { echo "command-docs-test: the table has no forms" >&2; exit 1; }

# The tag line after each .TP of COMMANDS, made plain: dashes and font changes.
man_forms="$(sed -n '/^\.SH COMMANDS/,/^\.SH/p' "$man_page" | sed -n '/^\.TP/{n;p}' |
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' | LC_ALL=C sort)"
# The forms in backquotes in the first column of the table under "| Command |"; "\|" is a bar.
readme_forms="$(sed -n '/^| Command |/,/^$/p' "$readme" | sed '1,2d' | sed 's/\\|/\x01/g' |
  cut -d'|' -f2 | grep -o '`[^`]*`' | tr -d '`' | tr '\001' '|' | LC_ALL=C sort)"

for place in man_forms readme_forms; do
  if [ "${!place}" != "$table_forms" ]; then
    echo "command-docs-test: the table's forms and $place differ (< table, > $place):" >&2
    diff <(echo "$table_forms") <(echo "${!place}") >&2
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "command-docs-test: ok ($(wc -l <<<"$table_forms") forms)"
