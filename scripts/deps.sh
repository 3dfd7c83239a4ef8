#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing the tool need, when any is missing.
# With --packaging, also those that building and checking the Debian package needs (scripts/package.sh).
# Runs apt-get as root, or through sudo for another user.
set -euo pipefail

packages=(
    cmake ninja-build g++ ccache
    qt6-base-dev qt6-serialport-dev
    qt6-qpa-plugins # the platform plugins: without them every Qt program aborts at start
    qt6-translations-l10n # qtbase_ru: Qt's own buttons and file dialogs in Russian
    libgl-dev       # Qt's CMake files look for OpenGL headers
    libglib2.0-dev pkg-config # the serial wait polls in the main loop's glib context (link/MainLoopPoll)
    googletest libgtest-dev libgmock-dev
    poppler-utils # pdftotext: the tests read the check report's text back
    clang libclang-rt-14-dev # the sanitizer and libFuzzer builds
    clang-format-14          # scripts/format.sh
    clang-tidy-14            # scripts/tidy.sh
)
if [ "${1:-}" = --packaging ]; then
    packages+=(
        dpkg-dev file      # dpkg-shlibdeps and dpkg-buildflags; CPack finds the programs with file
        librsvg2-bin       # rsvg-convert renders the PNG icons from the SVG
        desktop-file-utils # desktop-file-validate
        appstream          # appstreamcli validate
        lintian
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "deps.sh: these packages are missing and there is no sudo to install them: ${missing[*]}" >&2
    echo "deps.sh: install them as root: apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
fi

echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
