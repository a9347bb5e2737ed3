#!/usr/bin/env bash
# The JSON report of an audit is what docs/audit-report.schema.json says, checked by an independent
# validator, on a project the workbench makes: setups taken from a library and tuned on either
# side, a namesake, a file of an older layout, one of a newer one, a damaged record.
#   report-schema-test.sh AUDIT WORKBENCH SCHEMA
set -euo pipefail
audit="$1"
workbench="$2"
schema="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-audit-schema.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "report-schema-test: $*" >&2; exit 1; }

mkdir -p proj/sub
"$workbench" --master lib.zellib -c 'host add Office' -c 'host add Night' >/dev/null
"$workbench" --master proj/a.zel --library lib.zellib -c 'copy-from-library Office' \
  -c 'edit Office BlurPasses 12' -c 'save Office' -c 'host add Night BlurPasses=3' \
  -c 'host add "Own ☾"' >/dev/null
"$workbench" --master proj/sub/b.zel --library lib.zellib -c 'copy-from-library Office' \
  -c 'host add Broken' -c 'host invalidate Broken' >/dev/null
"$workbench" --master lib.zellib -c 'host add Office BlurPasses=9 ShadowQuality=3' >/dev/null
cp proj/a.zel proj/newer.zel
sqlite3 proj/newer.zel 'PRAGMA user_version = 9'
# A name that is not UTF-8, and an entry the walk skips.
cp proj/a.zel "proj/caf$(printf '\351').zel"
mkfifo proj/pipe.zel

status=0
"$audit" --library lib.zellib --json report.json --fix merge proj >/dev/null 2>&1 || status=$?
[ "$status" -eq 3 ] || fail "exit status $status, expected 3"

python3 - "$schema" report.json <<'PY'
import copy, json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
report = json.load(open(sys.argv[2]))
errors = list(validator.iter_errors(report))
assert not errors, [e.message for e in errors]
states = {s["state"] for f in report["files"] for s in f.get("setups", [])}
assert {"both-changed", "library-newer", "same-name-differs", "not-from-library", "unreadable"} <= states, states
assert {f["status"] for f in report["files"]} == {"read", "damaged", "unreadable"}, report["files"]
assert [f["pathBytes"] for f in report["files"] if "pathBytes" in f] == ["proj/caf\\xe9.zel"]
assert report["skipped"] == [{"path": "proj/pipe.zel", "reason": "is a FIFO"}], report["skipped"]
assert report["totals"]["skipped"] == 1
# Strict enough to refuse what a reader could misread.
def broken(change):
    d = copy.deepcopy(report)
    change(d)
    return d
for bad in (broken(lambda d: d["files"][0]["setups"][0].update(state="drifted")),
            broken(lambda d: d["files"][0].pop("status")),
            broken(lambda d: d["totals"]["states"].pop("in-step")),
            broken(lambda d: d.update(exitStatus=2)),
            broken(lambda d: d["files"][0]["setups"][0].update(extra=1)),
            broken(lambda d: d["skipped"][0].pop("reason")),
            broken(lambda d: d.pop("skipped"))):
    assert list(validator.iter_errors(bad)), "schema accepted a broken report"
PY

# Office standards: a library setup that governs two values and locks them; one drawing overrides
# a locked value, the other changed it without an override.
mkdir locked
"$workbench" --master std.zellib -c 'host add Quality BlurPasses=8' \
  -c 'scope Quality --only BlurPasses ShadowQuality' \
  -c 'lock Quality BlurPasses ShadowQuality --reason "office look"' >/dev/null
"$workbench" --master locked/c.zel --library std.zellib -c 'copy-from-library Quality' >/dev/null
cp locked/c.zel locked/d.zel
sqlite3 locked/d.zel 'UPDATE render_setups SET BlurPasses = 13'
"$workbench" --master locked/c.zel --library std.zellib \
  -c 'edit Quality BlurPasses 12 --override "the client asked"' -c 'save Quality' >/dev/null
status=0
"$audit" --strict --json locked.json --fix merge,locks --include-overrides locked >/dev/null 2>&1 \
  || status=$?
[ "$status" -eq 1 ] || fail "exit status $status with locks, expected 1"
python3 - "$schema" locked.json <<'PY'
import json, sys
import jsonschema
validator = jsonschema.Draft7Validator(json.load(open(sys.argv[1])))
report = json.load(open(sys.argv[2]))
errors = list(validator.iter_errors(report))
assert not errors, [e.message for e in errors]
locks = {f["path"]: s["locks"] for f in report["files"] for s in f["setups"]}
assert locks["locked/c.zel"][0]["override"]["reason"] == "the client asked", locks
assert locks["locked/d.zel"][0]["changed"] is True, locks
assert report["totals"]["locks"] == {"lockedValues": 4, "changed": 1, "overridden": 1}, report["totals"]
assert report["run"]["fix"]["mode"] == "merge,locks" and report["run"]["strict"] is True
PY
echo "report-schema-test: ok"
