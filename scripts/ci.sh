#!/usr/bin/env bash
# The checks CI runs after the README's test command (scripts/test.sh, which installs what is missing,
# builds into build/ and runs the whole suite). Exits non-zero on the first failure.
#
#   0. the sources formatted as .clang-format says (scripts/format.sh --check)
#   1. everything, tests and benchmarks included, built again with clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer, warnings as errors (build-asan/), and the whole test suite in that build:
#      with the gcc build of scripts/test.sh, the tree is built and tested with both compilers
#   2. the libFuzzer targets built with clang (build-fuzz/): every seed corpus replayed, then a fixed
#      number of mutations per target (fuzz/replay.sh; RMZ_FUZZ_RUNS sets the number)
#   3. with RMZ_TIDY_SINCE=REV, clang-tidy (scripts/tidy.sh) on the source files changed since REV. It
#      costs about 11 s a file on this machine: the whole tree would take most of CI's time, so the
#      pre-commit hook (scripts/install-hooks.sh) checks each commit's staged sources instead.
#
# Each stage prints its wall time at its end.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
asan=${RMZ_ASAN_BUILD_DIR:-$root/build-asan}
fuzz=${RMZ_FUZZ_BUILD_DIR:-$root/build-fuzz}

launcher=()
if command -v ccache >/dev/null 2>&1; then
    # As in scripts/build.sh: ccache caches the precompiled headers' users only with this sloppiness.
    launcher=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime;ccache")
fi

started=$SECONDS
stage_start=$SECONDS
stage_done() {
    echo "ci.sh: $1 done in $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

# The compilers and libraries come from scripts/deps.sh (run by scripts/test.sh); run it again so that
# this script also works on its own.
bash "$root/scripts/deps.sh"

# 0. Formatting.
bash "$root/scripts/format.sh" --check
stage_done "format check"

# 1. Sanitizers. Any undefined behaviour aborts the test that hit it (the build makes UBSan fatal);
#    leaks are reported, except those inside the system's own libraries (tests/lsan.supp).
cmake -S "$root" -B "$asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DRMZ_SANITIZE=ON \
    -DRMZ_WERROR=ON "${launcher[@]}"
cmake --build "$asan"
(
    cd "$asan"
    export QT_QPA_PLATFORM=offscreen
    export ASAN_OPTIONS=detect_leaks=1:strict_init_order=1
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    ctest --output-on-failure --no-tests=error -j "$(nproc)"
)
stage_done "clang sanitizer build and tests"

# 2. Fuzz targets: only they are built (the rest of the tree is instrumented as they link it).
cmake -S "$root" -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DRMZ_FUZZ=ON -DRMZ_TESTS=OFF "${launcher[@]}"
targets=()
for src in "$root"/fuzz/*_fuzz.cpp; do
    targets+=(--target "$(basename "$src" .cpp)")
done
cmake --build "$fuzz" "${targets[@]}"
bash "$root/fuzz/replay.sh" "$fuzz"
stage_done "fuzz corpora replay"

# 3. clang-tidy on the changes since a given revision.
if [ -n "${RMZ_TIDY_SINCE:-}" ]; then
    bash "$root/scripts/tidy.sh" --since "$RMZ_TIDY_SINCE"
    stage_done "clang-tidy"
fi

echo "ci.sh: sanitizer and fuzz stages passed in $((SECONDS - started)) s"
