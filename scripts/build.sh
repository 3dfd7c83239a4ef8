#!/usr/bin/env bash
# Configures and builds the project into build/ (or $RMZ_BUILD_DIR). Arguments, when given, are the
# targets to build; without them everything is built. With RMZ_WERROR=ON (.ci/run sets it) or CI=true,
# warnings are errors.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BUILD_DIR:-$root/build}

args=(-S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if command -v ccache >/dev/null 2>&1; then
    # The precompiled headers (cmake/Precompile.cmake) are only cached when ccache may ignore their
    # definitions and time stamps.
    args+=("-DCMAKE_CXX_COMPILER_LAUNCHER=env;CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime;ccache")
fi
if [ "${RMZ_WERROR:-}" = ON ] || [ "${CI:-}" = true ]; then
    args+=(-DRMZ_WERROR=ON)
fi
cmake "${args[@]}"

targets=()
for t in "$@"; do
    targets+=(--target "$t")
done
cmake --build "$build" "${targets[@]}"
