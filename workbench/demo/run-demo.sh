#!/usr/bin/env bash
# The workbench demo: makes a project's master file and three design libraries with realistic
# render setups in a fresh folder, runs a tour of every command on them, then audits a project of
# a dozen drawings against the office's libraries with rsm-audit, and leaves the files there to go
# on with.
#   run-demo.sh BUILD_DIR [DEMO_DIR]     (DEMO_DIR defaults to ./demo)
# RSM_WORKBENCH and RSM_AUDIT name other executables than BUILD_DIR/workbench/rsm-workbench and
# BUILD_DIR/audit/rsm-audit.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:?usage: run-demo.sh BUILD_DIR [DEMO_DIR]}"
demo="${2:-demo}"
workbench="${RSM_WORKBENCH:-$build/workbench/rsm-workbench}"
if [ ! -x "$workbench" ]; then
  echo "run-demo.sh: no workbench at $workbench; build it first" >&2
  exit 1
fi
workbench="$(cd "$(dirname "$workbench")" && pwd)/$(basename "$workbench")"
audit="${RSM_AUDIT:-$build/audit/rsm-audit}"
if [ ! -x "$audit" ]; then
  echo "run-demo.sh: no rsm-audit at $audit; build it first" >&2
  exit 1
fi
audit="$(cd "$(dirname "$audit")" && pwd)/$(basename "$audit")"
audit_demo="$here/../../audit/demo"

# Wipes only a folder that an earlier demo made, or an empty one.
marker=.rsm-workbench-demo
if [ -e "$demo" ]; then
  if [ ! -e "$demo/$marker" ] && [ -n "$(ls -A "$demo")" ]; then
    echo "run-demo.sh: $demo is not a demo folder; choose another" >&2
    exit 1
  fi
  rm -rf "$demo"
fi
mkdir -p "$demo"
touch "$demo/$marker"
demo="$(cd "$demo" && pwd)"
cd "$demo"

"$workbench" "$here/design-files.commands" >design-files.log
# The audit's project, made before the tour changes the libraries.
"$audit_demo/make-project.sh" "$workbench" .
cp "$here/tour.commands" .
libraries=(--library studio.zellib --library office-standards.zellib)

echo "== rsm-workbench --master tower.zel ${libraries[*]} tour.commands   (in $demo)"
"$workbench" --master tower.zel "${libraries[@]}" tour.commands

echo
echo "== While the active model is a reference attachment, the module refuses every change:"
if "$workbench" --master tower.zel "${libraries[@]}" -c "reference on" -c "new Lobby" \
  -c "delete Lobby"; then
  echo "run-demo.sh: the refusals should have made the exit status 1" >&2
  exit 1
fi
echo "(exit status 1: the module refused)"

echo
echo "== A project of a dozen drawings, their setups taken from the office's libraries months ago;"
echo "   since then some were tuned, the office improved three standards and retired one, and one"
echo "   drawing was damaged. rsm-audit holds every drawing against the libraries, reading only:"
office=(--library office/office-standards.zellib --library office/studio.zellib)
echo "== rsm-audit ${office[*]} --html audit-report.html --fix merge project"
status=0
"$audit" "${office[@]}" --html audit-report.html --json audit-report.json --fix merge project ||
  status=$?
if [ "$status" -ne 3 ]; then
  echo "run-demo.sh: the damaged drawing should have made the exit status 3, not $status" >&2
  exit 1
fi
echo "(exit status 3: a drawing could not be read; 1 would mean drift only, 0 all in step)"

echo
echo "== Office standards: the office's library gains \"Office Quality\", which governs only the quality"
echo "   values and locks two of them with the reason (authored with the library as the master file):"
"$workbench" "$here/office-quality.commands"
echo
echo "== A drawing takes it: an edit of a locked value is refused until it says why, and why tells"
echo "   the whole story of a value:"
cp "$here/office-quality-drawing.commands" .
if "$workbench" --master tower.zel "${libraries[@]}" office-quality-drawing.commands; then
  echo "run-demo.sh: the refused edit should have made the exit status 1" >&2
  exit 1
fi
echo "(exit status 1: the first edit was refused)"
echo
echo "== One drawing of the project lowered a value before the office locked it; the audit flags it:"
"$workbench" "$audit_demo/office-quality-later.commands" >office-quality-later.log
status=0
"$audit" "${office[@]}" project/tower || status=$?
if [ "$status" -ne 1 ]; then
  echo "run-demo.sh: the changed locked value should have made the exit status 1, not $status" >&2
  exit 1
fi
echo "(exit status 1: a locked value was changed)"
echo
echo "== The office rolls Office Quality out to the whole project: put back where it was taken, added"
echo "   where it is missing. First the preview, which writes nothing:"
echo "== rsm-audit ${office[*]} --deploy \"Office Quality\" --linked --create project"
status=0
"$audit" "${office[@]}" --deploy "Office Quality" --linked --create project || status=$?
echo "(exit status $status: the damaged drawing is skipped)"
echo "== The same with --apply, one change set; --changes lists it, --undo takes it back whole:"
status=0
"$audit" "${office[@]}" --deploy "Office Quality" --linked --create --apply project \
  >deploy.log || status=$?
tail -n 2 deploy.log
change_set="$(sed -n 's/^change set: \([0-9a-z]*\) .*/\1/p' deploy.log)"
"$audit" --changes project
"$audit" --undo "$change_set" --apply project >undo.log || status=$?
tail -n 2 undo.log

libraries+=(--library archive.zellib)
cat <<TEXT

== The demo's design files are in $demo:
   tower.zel (the master file), studio.zellib, office-standards.zellib, archive.zellib (libraries).
   Go on with commands at a prompt ("help" lists them, Ctrl-D ends):
     cd '$demo' && '$workbench' --master tower.zel ${libraries[*]}
   or one at a time:
     cd '$demo' && '$workbench' --master tower.zel ${libraries[*]} -c list -c 'show "Lobby Evening"'
   or in a web browser (open the url it prints; the prompt works beside it):
     cd '$demo' && '$workbench' --master tower.zel ${libraries[*]} --panel

== The audit's report: $demo/audit-report.html (open it in a web browser; it prints too).
   The same as JSON in audit-report.json. To merge the library's newer values into the drawings:
     cd '$demo' && '$audit' ${office[*]} --fix merge --take library project
TEXT
