#!/usr/bin/env bash
# Builds the program and runs its main job on this machine. Usage: bash tools/run-demo.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
bin=build/bin
"$bin/korvane-s-cli" new /tmp/korvane-demo.min
"$bin/korvane-s-cli" show /tmp/korvane-demo.min | head -20
