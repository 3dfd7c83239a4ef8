#!/usr/bin/env bash
# CI's package stage: builds the Debian package (scripts/package.sh) twice, the second time from scratch in a
# folder of its own (build-pkg-again/, or $RMZ_PKG_AGAIN_BUILD_DIR; mostly from the compiler cache), and
# fails unless both are the same bytes. Then installs it on this machine with apt-get, runs both programs
# from /usr/bin without a display, validates the desktop entry and the metainfo, runs lintian (its errors
# fail the stage, warnings are shown), then purges the package and checks that nothing of it is left. An
# rmz47 package installed before is replaced and purged too.
# Needs root or sudo (like scripts/deps.sh). Exits non-zero on the first failure.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
app_id=org.rmz47tool.ServiceTool
started=$SECONDS

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
else
    as_root=(sudo)
fi
apt_get() {
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -y "$@" </dev/null
}

deb=$(bash "$root/scripts/package.sh")
echo "package-check.sh: $deb ($(du -k "$deb" | cut -f1) KiB)"

again=${RMZ_PKG_AGAIN_BUILD_DIR:-$root/build-pkg-again}
rm -rf "$again"
deb_again=$(RMZ_PKG_BUILD_DIR=$again bash "$root/scripts/package.sh")
sum=$(sha256sum "$deb" | cut -d' ' -f1)
sum_again=$(sha256sum "$deb_again" | cut -d' ' -f1)
if [ "$sum" != "$sum_again" ]; then
    echo "package-check.sh: two builds of one commit differ: $sum $deb, $sum_again $deb_again" >&2
    # Which files differ, to start from.
    unpacked=$(mktemp -d)
    dpkg-deb -R "$deb" "$unpacked/first"
    dpkg-deb -R "$deb_again" "$unpacked/again"
    diff -rq "$unpacked/first" "$unpacked/again" >&2 || true
    rm -rf "$unpacked"
    exit 1
fi
echo "package-check.sh: two builds of the commit are the same bytes (sha256 $sum)"

# The package's own paths, to look for after the purge.
mapfile -t paths < <(dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/usr$')

purge() {
    if dpkg-query -W -f='${Status}' rmz47 2>/dev/null | grep -q 'install ok installed'; then
        apt_get remove --purge rmz47 >/dev/null
    fi
}
trap purge EXIT

apt_get install --no-install-recommends "$deb"

# Both programs answer without a display: no DISPLAY, WAYLAND_DISPLAY or QT_QPA_PLATFORM.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/rmz47 --version
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/rmz47-sim --help >/dev/null

desktop-file-validate "/usr/share/applications/$app_id.desktop"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml"

# initial-upload-closes-no-bugs: the package is not uploaded to Debian's archive, so there is no
# request-for-packaging bug for its first changelog entry to close.
lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs "$deb"

trap - EXIT
apt_get remove --purge rmz47

# What stays may only be a folder that another installed package owns (/usr/share/icons/hicolor/...).
left=()
for p in "${paths[@]}"; do
    if [ -e "$p" ] || [ -L "$p" ]; then
        if [ -d "$p" ] && [ ! -L "$p" ] && dpkg-query -S "$p" >/dev/null 2>&1; then
            continue
        fi
        left+=("$p")
    fi
done
mapfile -t named < <(find /usr -iname '*rmz47*' 2>/dev/null)
if [ ${#left[@]} -ne 0 ] || [ ${#named[@]} -ne 0 ]; then
    echo "package-check.sh: left after the purge: ${left[*]} ${named[*]}" >&2
    exit 1
fi
echo "package-check.sh: package built, installed, checked and purged in $((SECONDS - started)) s"
