#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite. Exits non-zero when anything fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh"

# Windows are drawn off screen; no display is needed.
export QT_QPA_PLATFORM=offscreen
cd "$build"
# One test per processor: tests that share something say so themselves (RUN_SERIAL, RESOURCE_LOCK).
ctest --output-on-failure --no-tests=error -j "$(nproc)"
