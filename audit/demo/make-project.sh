#!/usr/bin/env bash
# Makes the audit's demo project in FOLDER: the office's libraries in office/ (from the workbench
# demo's studio.zellib and office-standards.zellib, which must be in FOLDER), a dozen drawings in
# project/ whose setups were taken from them months ago, tuned since here and there, the office's
# later changes to its libraries, a file that is no drawing and a damaged drawing.
#   make-project.sh WORKBENCH FOLDER
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
workbench="$1"
cd "$2"
mkdir -p office project/tower project/annex project/site
cp studio.zellib office-standards.zellib office/
"$workbench" "$here/project.commands" >project.log
"$workbench" "$here/office-updates.commands" >office-updates.log
echo "Meeting notes, not a drawing." >project/site/notes.txt
# A drawing whose table of setups was overwritten on disk.
damaged=project/site/site-archive.zel
cp project/site/site-survey.zel "$damaged"
page="$(sqlite3 "$damaged" "SELECT rootpage FROM sqlite_schema WHERE name = 'render_setups'")"
size="$(sqlite3 "$damaged" "PRAGMA page_size")"
printf '%064d' 0 | tr 0 '\177' | dd of="$damaged" bs=1 seek=$(((page - 1) * size)) conv=notrunc status=none
