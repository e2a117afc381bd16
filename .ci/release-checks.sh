#!/usr/bin/env bash
# What a distribution checks in a release: the desktop entry, the AppStream
# metadata, the manual pages, the package's contents and lintian, on the
# package .ci/package-root.sh built in BUILD_DIR (default build/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
deb=$(ls "$build"/telvar_*.deb)

desktop-file-validate resources/telvar.desktop
appstreamcli validate --no-net packaging/com.quorvane.telvar.metainfo.xml

for page in "$build"/packaging/telvar.1.gz "$build"/packaging/telvar-sim.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page: $warnings"
        exit 1
    fi
done

contents=$(dpkg-deb --contents "$deb")
for f in usr/bin/telvar usr/bin/telvar-sim usr/share/man/man1/telvar.1.gz \
         usr/share/man/man1/telvar-sim.1.gz usr/share/metainfo/com.quorvane.telvar.metainfo.xml \
         usr/share/doc/telvar/copyright usr/share/doc/telvar/changelog.Debian.gz; do
    grep -q " \./$f\$" <<<"$contents" || { echo "$(basename "$deb") lacks /$f"; exit 1; }
done

lintian --fail-on error,warning "$deb"
echo "release checks: desktop entry, metainfo, manual pages and lintian clean on $(basename "$deb")"
