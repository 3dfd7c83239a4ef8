#!/usr/bin/env bash
# The demo, as scripts/run.sh and scripts/screenshots.sh set it up, run twice by the screenshot program
# (both jobs, the journal, the line monitor) with an empty home folder: nothing may appear there, the
# demo's own files must be in its folder, and the two runs must make the same pictures.
#   demo-home-test.sh SOURCE_DIR SCREENSHOTS_PROGRAM
set -euo pipefail

root=$1
shots=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

export HOME="$tmp/home"
mkdir "$HOME"
unset XDG_CONFIG_HOME XDG_DATA_HOME
# shellcheck source=../../scripts/demo-env.sh
source "$root/scripts/demo-env.sh"
demo_environment "$tmp/demo"

for run in 1 2; do
    mkdir "$tmp/pictures$run"
    "$shots" "$tmp/pictures$run" >/dev/null
done

status=0
if [ -n "$(find "$HOME" -mindepth 1 -print -quit)" ]; then
    echo "written under the home folder:" >&2
    find "$HOME" -mindepth 1 >&2
    status=1
fi
for file in marvil.ini journal.jsonl monitor.ini; do
    if [ ! -s "$tmp/demo/$file" ]; then
        echo "the demo's $file is not in its folder" >&2
        status=1
    fi
done
(cd "$tmp/pictures1" && sha256sum ./*.png) >"$tmp/sums"
if ! (cd "$tmp/pictures2" && sha256sum --quiet -c "$tmp/sums") >&2; then
    echo "the second run made other pictures" >&2
    status=1
fi
exit "$status"
