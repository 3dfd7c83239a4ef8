#!/usr/bin/env bash
# The demo as run.sh and screenshots.sh set it up, run twice by the screenshot program with an empty home:
# nothing may land there, the demo's files must be in its folder and both runs make the same pictures.
#   demo-home-test.sh SOURCE_DIR SCREENSHOTS_PROGRAM
set -euo pipefail
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp/home"
unset XDG_CONFIG_HOME XDG_DATA_HOME
mkdir "$HOME" "$tmp/1" "$tmp/2"
# shellcheck source=scripts/demo-env.sh
source "$1/scripts/demo-env.sh"
demo_environment "$tmp/demo"
"$2" "$tmp/1" >/dev/null
"$2" "$tmp/2" >/dev/null
if find "$HOME" -mindepth 1 | grep . >&2; then
    echo "written under the home folder" >&2
    exit 1
fi
ls "$tmp/demo/journal.jsonl" "$tmp/demo/monitor.ini" >/dev/null
(cd "$tmp/1" && sha256sum ./*.png) | (cd "$tmp/2" && sha256sum --quiet -c -)
