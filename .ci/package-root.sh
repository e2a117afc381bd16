#!/usr/bin/env bash
# Proves the Debian package on a machine that has nothing yet: installs the
# .deb built in BUILD_DIR (default build/) into a minimal Debian 12 root, with
# apt resolving the dependencies the package declares, then runs both
# programs there and validates the desktop entry.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
command -v mmdebstrap >/dev/null || bash scripts/setup.sh mmdebstrap

rm -f "$build"/telvar_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/telvar_*.deb)
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Depends

mmdebstrap --quiet --variant=minbase --include=desktop-file-utils \
    --customize-hook="copy-in $deb /root" \
    --customize-hook='chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root sh -c "apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends /root/telvar_*.deb"' \
    --customize-hook='chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root sh -ec "telvar --version; telvar-sim --help >/dev/null; desktop-file-validate /usr/share/applications/telvar.desktop; for s in 48 128 256; do test -s /usr/share/icons/hicolor/\${s}x\${s}/apps/telvar.png; done; test -s /usr/share/doc/telvar/README.md; test -s /usr/share/man/man1/telvar.1.gz; test -s /usr/share/metainfo/com.quorvane.telvar.metainfo.xml"' \
    bookworm /dev/null
echo "package root: installed, runs, desktop entry valid"
