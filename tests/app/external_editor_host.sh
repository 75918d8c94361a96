#!/usr/bin/env bash
# The photo application's side of the external-editor exchange, as a script: it holds a raw
# file in its own folder, writes an edit proxy elsewhere, points lumivar's search at the raw
# files and runs lumivar on the proxy with a script that updates it and quits.
# usage: external_editor_host.sh LUMIVAR RAW_FILE WORK_FOLDER
set -euo pipefail
lumivar=$1
raw=$2
work=$3
mkdir -p "$work/raws" "$work/photos" "$work/home"
cp "$raw" "$work/raws/IMG_1234.${raw##*.}"
printf 'the host'"'"'s proxy' > "$work/photos/IMG_1234-edit.jpg"
cat > "$work/update-and-quit.lvs" <<SCRIPT
pref rawSearchDirectoryBookmark "$work/raws"
open "$work/photos/IMG_1234-edit.jpg"
wait-image 120
update
quit
SCRIPT
LUMIVAR_HOME="$work/home" "$lumivar" --automation "$work/update-and-quit.lvs"
