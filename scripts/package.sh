#!/usr/bin/env bash
# Builds the Debian package of the tool and the virtual controller (Release, into build-pkg/ or
# $RMZ_PKG_BUILD_DIR) and prints the path of the .deb on standard output; everything else goes to
# standard error, so that deb=$(scripts/package.sh) works.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_PKG_BUILD_DIR:-$root/build-pkg}

cd "$root"
{
    bash "$root/scripts/deps.sh" --packaging

    # Debian's compiler and linker hardening, as a package built by dpkg-buildpackage gets it.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    args=(-S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRMZ_TESTS=OFF -DRMZ_PACKAGE=ON
          "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
          "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
    if command -v ccache >/dev/null 2>&1; then
        args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake "${args[@]}"
    cmake --build "$build"

    rm -f "$build"/rmz47_*.deb
    (cd "$build" && cpack -G DEB)
} >&2

debs=("$build"/rmz47_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    echo "package.sh: expected one rmz47_*.deb in $build, found: ${debs[*]}" >&2
    exit 1
fi
echo "${debs[0]}"
