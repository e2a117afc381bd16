#!/usr/bin/env bash
# Installs, builds and starts Telvar connected to its simulated analyzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh
exec ./build/app/telvar --demo --connect "$@"
