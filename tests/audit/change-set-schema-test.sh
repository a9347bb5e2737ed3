#!/usr/bin/env bash
# The JSON reports of rsm-audit --deploy and --undo are what docs/change-set-report.schema.json
# says, checked by an independent validator, on a project the workbench makes: a setup taken from
# a scoped library setup with a locked value, one changed here since, one without a record.
#   change-set-schema-test.sh AUDIT WORKBENCH SCHEMA
set -euo pipefail
audit="$1"
workbench="$2"
schema="$3"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-change-set-schema.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "change-set-schema-test: $*" >&2; exit 1; }

mkdir -p proj/sub
"$workbench" --master lib.zellib -c 'host add Quality BlurPasses=4' \
  -c 'scope Quality --only BlurPasses AlbedoScale ShadowQuality' \
  -c 'lock Quality ShadowQuality --reason "the office look"' >/dev/null
"$workbench" --master proj/a.zel --library lib.zellib -c init -c load \
  -c 'copy-from-library Quality' -c 'edit Quality AlbedoScale 0.25' -c 'save Quality' \
  -c 'host add "Own ☾"' >/dev/null
"$workbench" --master proj/sub/b.zel --library lib.zellib -c init -c load \
  -c 'copy-from-library Quality' >/dev/null
"$workbench" --master lib.zellib -c 'host add Quality BlurPasses=6 AlbedoScale=0.75 ShadowQuality=2' >/dev/null

status=0
"$audit" --library lib.zellib --deploy Quality --every-setup --json dry.json proj >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "dry deploy: exit status $status, expected 1 (a conflict left)"
"$audit" --library lib.zellib --deploy Quality --every-setup --take library --apply \
  --json deploy.json proj >/dev/null || fail "deploy --apply failed"
id="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["changeSet"])' deploy.json)"
sqlite3 proj/a.zel "UPDATE render_setups SET BlurPasses = 9 WHERE name = 'Quality'"
status=0
"$audit" --undo "$id" --apply --json undo.json proj >/dev/null || status=$?
[ "$status" -eq 1 ] || fail "undo: exit status $status, expected 1 (a conflict kept)"

python3 - "$schema" dry.json deploy.json undo.json <<'PY'
import json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
reports = {name: json.load(open(name)) for name in sys.argv[2:]}
for name, report in reports.items():
    errors = list(validator.iter_errors(report))
    if errors:
        sys.exit(f"{name}: {errors[0].message} at {list(errors[0].absolute_path)}")
kinds = {(v["property"], v["kind"]) for f in reports["dry.json"]["files"]
         for s in f["setups"] for v in s["values"]}
for expected in [("ShadowQuality", "locked"), ("AlbedoScale", "undecided"), ("BlurPasses", "library"),
                 ("AlbedoScale", "replaced")]:
    if expected not in kinds:
        sys.exit(f"dry.json: no {expected} in {sorted(kinds)}")
undo = reports["undo.json"]
if undo["undoes"]["id"] != reports["deploy.json"]["changeSet"] or undo["changeSet"] is None:
    sys.exit("undo.json: the change sets it names are wrong")
kept = [v for f in undo["files"] for s in f["setups"] for v in s["values"] if v["kind"] == "conflict-kept"]
if [(v["property"], v["from"], v["to"], v["written"]) for v in kept] != [("BlurPasses", "9", "9", "6")]:
    sys.exit(f"undo.json: conflicts kept {kept}")
# The schema refuses what it should: a kind it does not know.
broken = json.loads(json.dumps(reports["dry.json"]))
broken["files"][0]["setups"][0]["values"][0]["kind"] = "guessed"
if validator.is_valid(broken):
    sys.exit("the schema takes a value of a kind it does not know")
PY
