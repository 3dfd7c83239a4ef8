#!/bin/sh
# Regression run of the fuzz targets: replays every seed of each target's corpus, then a short fixed
# mutation run from those seeds. Builds nothing.
#
#   fuzz/replay.sh [build-dir]     (default: build-fuzz; configure with -DRMZ_FUZZ=ON and clang++)
#   RMZ_FUZZ_RUNS=n                mutations per target (default 20000)
#   RMZ_FUZZ_ARTIFACTS=dir         where a failing input is kept
#
# Target <name>_fuzz uses the seeds in fuzz/corpus/<name>/. New inputs found during the mutation run go
# to a temporary directory, never into the repository. Exits non-zero on the first finding, and when no
# target is built (a fuzz build that silently tested nothing must not pass).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build-fuzz}" && pwd)
runs=${RMZ_FUZZ_RUNS:-20000}
# A finding is written here as crash-*/leak-*/timeout-* (default: the directory the script is run from).
artifacts=$(cd "${RMZ_FUZZ_ARTIFACTS:-.}" && pwd)

found=0
for bin in "$build"/bin/*_fuzz; do
    [ -x "$bin" ] || continue
    found=$((found + 1))
    name=$(basename "$bin" _fuzz)
    corpus=$here/corpus/$name
    if [ ! -d "$corpus" ]; then
        echo "replay: no seed corpus $corpus for $bin" >&2
        exit 1
    fi
    scratch=$(mktemp -d)
    trap 'rm -rf "$scratch"' EXIT
    echo "== $name: replaying $(ls "$corpus" | wc -l) seeds"
    (cd "$scratch" && "$bin" -runs=0 -artifact_prefix="$artifacts/$name-" "$corpus")
    echo "== $name: $runs mutations"
    (cd "$scratch" && "$bin" -runs="$runs" -seed=1 -print_final_stats=1 -artifact_prefix="$artifacts/$name-" "$scratch" "$corpus")
    rm -rf "$scratch"
    trap - EXIT
done

if [ "$found" -eq 0 ]; then
    echo "replay: no fuzz targets in $build/bin (configure with -DRMZ_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++)" >&2
    exit 1
fi
echo "replay: $found target(s) clean"
