#!/usr/bin/env bash
# Builds everything and runs every test. Usage: bash tools/run-tests.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
cmake --preset default >/dev/null
cmake --build --preset default -j "$jobs"
ctest --preset default -j "$jobs"
