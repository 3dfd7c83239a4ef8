#!/usr/bin/env bash
# Checks the include arrows of the product folders: a file includes headers of its own folder and of the
# folders below it, never above (see the README's source layout), and no file outside a folder includes a
# header from that folder's private/ subfolder. Headers are included by name, so each name is looked up in
# the folder that holds it; generated headers (Version.h, ui_*.h) belong to no folder and are skipped.
#
#   scripts/layers.sh [root]    lists every include that breaks a rule and exits 1 when there is one
set -euo pipefail

root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
cd "$root"

# The folders each folder may include from, besides itself.
declare -A uses=(
    [proto]=""
    [sim]="proto"
    [text]="proto"
    [link]="text proto"
    [journal]="text proto"
    [ui]="journal link text proto"
    [monitor]="link text proto"
    [config]="ui journal link text proto"
    [imit]="ui link text proto"
    [check]="config imit ui journal link text proto"
    [cli]="check monitor config imit ui journal link text proto"
    [app]="cli check monitor config imit ui journal link text proto"
)

# Where each header lives: folder, or folder/private.
declare -A home=()
for folder in "${!uses[@]}"; do
    while IFS= read -r header; do
        name=${header##*/}
        where=${header%/*}
        if [ -n "${home[$name]:-}" ] && [ "${home[$name]}" != "$where" ]; then
            echo "layers: $name is in both ${home[$name]}/ and $where/" >&2
            exit 2
        fi
        home[$name]=$where
    done < <(find "$folder" -name '*.h' | sort)
done

faults=0
for folder in "${!uses[@]}"; do
    allowed=" $folder ${uses[$folder]} "
    while IFS= read -r file; do
        while IFS= read -r line; do
            name=${line#*\"}
            name=${name%%\"*}
            where=${home[${name##*/}]:-}
            [ -n "$where" ] || continue
            owner=${where%%/*}
            if [ "$where" != "$owner" ] && [ "$owner" != "$folder" ]; then
                echo "$file: includes $where/${name##*/}, private to $owner/"
                faults=$((faults + 1))
            elif [[ "$allowed" != *" $owner "* ]]; then
                echo "$file: includes $owner/${name##*/}, above $folder/ in the layers"
                faults=$((faults + 1))
            fi
        done < <(grep -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" || true)
    done < <(find "$folder" \( -name '*.h' -o -name '*.cpp' \) | sort)
done

if [ "$faults" -gt 0 ]; then
    echo "layers: $faults include(s) against the layers" >&2
    exit 1
fi
echo "layers: every include points down"
