#!/usr/bin/env bash
# Proves the README's set-up on a machine that has nothing yet: builds a minimal
# Debian 12 root, copies this checkout into it, runs scripts/setup.sh there and
# configures the project. A package the build needs but setup.sh does not
# install makes this fail, even when the CI machine itself happens to have it.
set -euo pipefail
# The fresh root starts from a clean environment: nothing of this machine's
# (compiler launchers, build settings) may help it along.
cd "$(dirname "$0")/.."
command -v mmdebstrap >/dev/null || bash scripts/setup.sh mmdebstrap

src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
# The committed tree only, as a fresh clone has it.
git archive --format=tar HEAD | tar -x -C "$src"

mmdebstrap --quiet --variant=minbase --include=ca-certificates \
    --customize-hook="copy-in $src /root" \
    --customize-hook='chroot "$1" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root sh -c "cd /root/$(basename '"$src"') && bash scripts/setup.sh && cmake -S . -B /tmp/build -G Ninja"' \
    bookworm /dev/null
echo "fresh root: setup and configure passed"
