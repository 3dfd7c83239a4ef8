#!/usr/bin/env bash
# Makes the README's pictures again from the real windows: builds the tool's screenshot program and the
# virtual controller, then runs the demo's two jobs offscreen and writes docs/link-dialog.png, docs/main-imitation.png,
# docs/config-form.png, docs/wizard-step1.png and docs/wizard-step2.png. Takes about 20 s (the controller
# keeps quiet for 10 s after the configuration).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" rmz47-screenshots rmz47-sim
mkdir -p "$root/docs"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/rmz47-screenshots" "$root/docs"
