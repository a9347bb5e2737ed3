#!/usr/bin/env bash
# Setups exported by one workbench run import value-identical in another, and the document is
# what docs/render-setups.schema.json says, checked by an independent validator.
#   export-test.sh WORKBENCH SCHEMA
set -euo pipefail
workbench="$1"
schema="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/ornr-export.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "export-test: $*" >&2; exit 1; }

# A library setup that governs and locks some values, taken by name into Lib (overridden there)
# and applied onto Plain.
"$workbench" --master lib.zellib -c 'host add Lib BlurPasses=3' -c 'scope Lib --only Lighting BlurPasses' \
  -c 'lock Lib BlurPasses --reason "house look"' -c 'note Lib "the office look"' >/dev/null
"$workbench" --master one.zel --library lib.zellib -c 'copy-from-library Lib' \
  -c 'edit Lib BlurPasses 5 --override "client asked"' -c 'save Lib' -c 'note Lib BlurPasses agreed' >/dev/null
"$workbench" --master one.zel --library lib.zellib \
  -c 'host add "Night \"render\" ☾" InterocularDistance=0.000000123 MaxSamplesPerPixel=4294967295 Outputs=8191' \
  -c 'host add Plain AlbedoScale=0.1' -c refresh -c 'apply Lib Plain' -c 'save Plain' \
  -c 'export "Night \"render\" ☾" Plain Lib setups.json' >/dev/null
"$workbench" --master two.zel -c 'import setups.json' >/dev/null
origin="$("$workbench" --master two.zel -c 'origin Lib')"
grep -q "from \"Lib\" in \"lib.zellib\"" <<<"$origin" || fail "the imported setup lost where it came from"
standards="$("$workbench" --master two.zel --library lib.zellib -c 'locks' -c 'note Lib BlurPasses')"
grep -q 'BlurPasses of "Lib" is locked by "Lib" in lib.zellib: house look; overridden by .*: client asked' \
  <<<"$standards" || fail "the imported override is lost: $standards"
grep -q 'BlurPasses of "Plain" is locked by "Lib" in lib.zellib' <<<"$standards" ||
  fail "the imported overlay is lost: $standards"
grep -q 'note: BlurPasses of "Lib": agreed' <<<"$standards" || fail "the imported note is lost"
# Without its override the same document breaches the lock: nothing of it is stored.
python3 -c 'import json, sys; d = json.load(open("setups.json"))
[s.pop("overrides", None) for s in d["setups"]]; json.dump(d, open("breach.json", "w"))'
breach="$("$workbench" --master three.zel --library lib.zellib -c 'import breach.json' -c 'locks' || true)"
grep -q 'error: BlurPasses is locked by "Lib" in lib.zellib: house look (5 here, 3 in the library); nothing changed' \
  <<<"$breach" || fail "an import that breaches a lock was not refused: $breach"
grep -q '^locks: none$' <<<"$breach" || fail "a refused import stored something: $breach"
for name in '"Night \"render\" ☾"' Plain Lib; do
  first="$("$workbench" --master one.zel -c "host show $name" | grep " = ")"
  second="$("$workbench" --master two.zel -c "host show $name" | grep " = ")"
  [ "$(wc -l <<<"$first")" -eq 68 ] && [ "$first" = "$second" ] || fail "$name differs after the round trip"
done
grep -q '"InterocularDistance": 1.23e-07,' setups.json || fail "doubles are not in shortest form"

python3 - "$schema" setups.json <<'PY'
import copy, json, sys
import jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft7Validator.check_schema(schema)
validator = jsonschema.Draft7Validator(schema)
document = json.load(open(sys.argv[2]))
errors = list(validator.iter_errors(document))
assert not errors, [e.message for e in errors]
# The schema is strict enough to refuse what import refuses.
def broken(change):
    d = copy.deepcopy(document)
    change(d["setups"][0]["settings"])
    return d
for bad in (broken(lambda s: s.pop("Stereo")), broken(lambda s: s.update(BlurPasses=-1)),
            broken(lambda s: s.update(Unknown=1)), broken(lambda s: s.update(DoShadows=1))):
    assert list(validator.iter_errors(bad)), "schema accepted a broken document"
setups = {s["name"]: s for s in document["setups"]}
assert setups["Lib"]["overrides"]["BlurPasses"]["reason"] == "client asked", setups["Lib"]
assert "BlurPasses" in setups["Lib"]["source"]["governed"], setups["Lib"]["source"]
assert list(setups["Plain"]["overlays"][0]["base"]) == setups["Lib"]["source"]["governed"]
for bad in (broken(lambda s: None), ):
    bad["setups"][0]["scope"] = ["Nonsense"]
    assert list(validator.iter_errors(bad)), "schema accepted an unknown property in a scope"
sources = [s["source"] for s in document["setups"] if "source" in s]
assert len(sources) == 1 and sources[0]["librarySetup"] == "Lib", sources
for member in ("base", "libraryPath"):
    bad = copy.deepcopy(document)
    next(s for s in bad["setups"] if "source" in s)["source"].pop(member)
    assert list(validator.iter_errors(bad)), "schema accepted a broken document"
PY
echo "export-test: ok"
