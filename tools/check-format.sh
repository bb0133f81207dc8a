#!/usr/bin/env bash
# Fails when a C or C++ source in the repository differs from the layout in .clang-format.
# Usage: bash tools/check-format.sh [--fix]   (--fix rewrites the files in place)
set -euo pipefail
cd "$(dirname "$0")/.."
fmt=$(command -v clang-format-14 || command -v clang-format || true)
if [[ -z $fmt ]]; then
  echo "check-format: clang-format is not installed (apt-get install clang-format)" >&2
  exit 1
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [[ ${1:-} == --fix ]]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi
bad=$("$fmt" --dry-run "${files[@]}" 2>&1 | grep -oE '^[^:]+:[0-9]+:[0-9]+: (warning|error)' | cut -d: -f1 | sort -u || true)
if [[ -n $bad ]]; then
  echo "check-format: these files are not formatted (bash tools/check-format.sh --fix):" >&2
  printf '  %s\n' $bad >&2
  exit 1
fi
echo "check-format: ${#files[@]} files formatted"
