#!/usr/bin/env bash
# Formats the C++ sources of the tree (the files git knows, and new ones it does not ignore) with
# clang-format-14 and the tree's .clang-format. One version of the formatter, because another version
# formats some constructs differently from the same style file.
#
#   scripts/format.sh           rewrites every file that differs
#   scripts/format.sh --check   changes nothing: lists the files that differ and exits 1 when any does
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
formatter=${CLANG_FORMAT:-clang-format-14}
check=0
case "${1:-}" in
    "") ;;
    --check) check=1 ;;
    *) sed -n '6,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
esac
if ! command -v "$formatter" >/dev/null 2>&1; then
    echo "format.sh: $formatter not found (scripts/deps.sh installs it)" >&2
    exit 2
fi

cd "$root"
mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
differ=()
for f in "${files[@]}"; do
    [ -f "$f" ] || continue # deleted but not yet committed
    if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
        differ+=("$f")
    fi
done

if [ $check -eq 1 ]; then
    if [ ${#differ[@]} -ne 0 ]; then
        printf '%s\n' "${differ[@]}"
        echo "format.sh: ${#differ[@]} of ${#files[@]} files differ from .clang-format; scripts/format.sh formats them" >&2
        exit 1
    fi
    echo "format.sh: ${#files[@]} files formatted as .clang-format says" >&2
    exit 0
fi
for f in "${differ[@]}"; do
    "$formatter" --style=file -i "$f"
done
echo "format.sh: ${#differ[@]} of ${#files[@]} files formatted" >&2
