#!/usr/bin/env bash
# Builds the Debian package of the tool and the virtual controller (Release, into build-pkg/ or
# $RMZ_PKG_BUILD_DIR) and prints the path of the .deb on standard output; everything else goes to
# standard error, so that deb=$(scripts/package.sh) works.
#
# Two builds of one commit give the same bytes, in whichever folder they are built: the archive's times are
# the commit's (cmake/Packaging.cmake), and the build folder is written as "build-pkg" into the programs'
# debug information, from which the linker derives the build ID that stays in the stripped programs.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${RMZ_PKG_BUILD_DIR:-$root/build-pkg}
mkdir -p "$build"
build=$(cd "$build" && pwd)

cd "$root"
{
    bash "$root/scripts/deps.sh" --packaging

    # Debian's compiler and linker hardening, as a package built by dpkg-buildpackage gets it.
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    args=(-S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DRMZ_TESTS=OFF -DRMZ_PACKAGE=ON
          "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS) -ffile-prefix-map=$build=build-pkg"
          "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
    if command -v ccache >/dev/null 2>&1; then
        args+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        # Paths relative to the tree, so that a build in another folder finds the same cache entries.
        export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
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
