#!/usr/bin/env bash
# Makes the README's pictures again from the real windows: builds the tool's screenshot program and the
# virtual controller, then runs the demo's two jobs offscreen and writes docs/link-dialog.png,
# docs/main-imitation.png, docs/config-form.png, docs/wizard-step1.png, docs/wizard-step2.png,
# docs/check-window.png and docs/check-report.png (pdftoppm draws the report's first page). Takes about
# 20 s (the controller keeps quiet for 10 s after the configuration). The same windows make the same
# pictures: a run changes a picture only when its window changed. Everything else the run writes
# (settings, journal, the monitor's place, the controller's link, the report's PDF) stays in
# build/screenshots.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh"
bash "$root/scripts/build.sh" rmz47-screenshots rmz47-sim
mkdir -p "$root/docs"
# shellcheck source=scripts/demo-env.sh
source "$root/scripts/demo-env.sh"
demo_environment "$build/screenshots"
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bin/rmz47-screenshots" "$root/docs"
