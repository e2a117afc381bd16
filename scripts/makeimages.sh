#!/bin/sh
# Redraws resources/images/ from scripts/makeimages.cpp (Qt Gui only, DejaVu Sans font).
# Usage: scripts/makeimages.sh [PREVIEW.png]   -- the optional contact sheet shows the whole set.
# The build does not run this: the pictures it writes are committed.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Qt is built with reduced relocations, so the program must be position independent.
g++ -std=c++17 -O1 -Wall -Wextra -fPIC "$here/makeimages.cpp" -o "$work/makeimages" \
    $(pkg-config --cflags --libs Qt5Gui)
QT_QPA_PLATFORM=offscreen "$work/makeimages" "$root/resources/images" "$@"
