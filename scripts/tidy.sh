#!/usr/bin/env bash
# Runs clang-tidy-14 with the tree's .clang-tidy on C++ sources; any finding fails the run. Headers are
# checked through the sources that include them.
#
#   scripts/tidy.sh                every source file of the tree that the build compiles
#   scripts/tidy.sh --since REV    the source files changed since REV (e.g. the merge-base with main)
#   scripts/tidy.sh FILE...        those files (headers and files the build does not compile are skipped)
#
# The compile commands come from a clang configuration of its own (build-tidy/, or $RMZ_TIDY_BUILD_DIR)
# without precompiled headers, where nothing is built. RMZ_TIDY_JOBS sets how many files are checked at
# once (default: the number of processors).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_TIDY_BUILD_DIR:-$root/build-tidy}
tidy=${CLANG_TIDY:-clang-tidy-14}
jobs=${RMZ_TIDY_JOBS:-$(nproc)}
if ! command -v "$tidy" >/dev/null 2>&1; then
    echo "tidy.sh: $tidy not found (scripts/deps.sh installs it)" >&2
    exit 2
fi

cd "$root"
case "${1:-}" in
    "") mapfile -t files < <(git ls-files -- '*.cpp') ;;
    --since) mapfile -t files < <(git diff --name-only --diff-filter=d "${2:?--since needs a revision}" -- '*.cpp') ;;
    -*) sed -n '5,7s/^# \{0,1\}//p' "${BASH_SOURCE[0]}" >&2; exit 2 ;;
    *) files=("$@") ;;
esac

# The compile commands, and the headers uic makes of the forms (in a folder of their own, given to every
# file): nothing is compiled.
db=$build/compile_commands.json
stale=0
[ -f "$db" ] || stale=1
while read -r f; do
    [ "$f" -nt "$db" ] && stale=1
done < <(git ls-files -- '*CMakeLists.txt' '*.cmake')
if [ $stale -eq 1 ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DRMZ_PCH=OFF >/dev/null
fi
uic=${QT_UIC:-/usr/lib/qt6/libexec/uic}
mkdir -p "$build/tidy-uic"
while read -r form; do
    out=$build/tidy-uic/ui_$(basename "$form" .ui).h
    [ "$out" -nt "$form" ] || "$uic" "$form" -o "$out"
done < <(git ls-files -- '*.ui')

compiled=()
for f in "${files[@]}"; do
    f=${f#./}
    if [[ $f == *.cpp ]] && grep -qF "\"file\": \"$root/$f\"" "$db"; then
        compiled+=("$f")
    fi
done
if [ ${#compiled[@]} -eq 0 ]; then
    echo "tidy.sh: no source file to check" >&2
    exit 0
fi

started=$SECONDS
if printf '%s\0' "${compiled[@]}" | xargs -0 -n 1 -P "$jobs" "$tidy" -p "$build" --quiet "--extra-arg=-I$build/tidy-uic" 2> >(grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$|^Suppressed [0-9]+ warnings|^Use -header-filter=|^Error while processing' >&2); then
    echo "tidy.sh: ${#compiled[@]} files clean in $((SECONDS - started)) s" >&2
else
    echo "tidy.sh: findings in the files above (${#compiled[@]} files checked in $((SECONDS - started)) s)" >&2
    exit 1
fi
