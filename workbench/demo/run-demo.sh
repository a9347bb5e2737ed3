#!/usr/bin/env bash
# The workbench demo: makes a project's master file and three design libraries with realistic
# render setups in a fresh folder, runs a tour of every command on them, and leaves the files
# there to go on with.
#   run-demo.sh BUILD_DIR [DEMO_DIR]     (DEMO_DIR defaults to ./demo)
# RSM_WORKBENCH names another workbench executable than BUILD_DIR/workbench/rsm-workbench.
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
TEXT
