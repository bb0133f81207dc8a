#!/usr/bin/env bash
# Runs the fault-injection suite over the simulated processor and renders its table.
#   bash tools/reliability/fault-table.sh          quick and slow runs (several minutes)
#   bash tools/reliability/fault-table.sh quick    only the quick runs (the table keeps the
#                                                  slow rows of the last full run)
# Builds the default build (build/), runs test_faultinjection[_slow], joins the rows the
# tests wrote into docs/reliability/faults.tsv and renders docs/RELIABILITY.md.
# Exit status: that of ctest (0 when every run ended as expected).
set -euo pipefail
cd "$(dirname "$0")/../.."
which=${1:-all}
# The commit the run builds, taken before the build: edits made while it runs are not in it.
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -z $(git status --porcelain -- . ':!docs' ':!fuzz/results.tsv' 2>/dev/null) ]] || commit="$commit+"
cmake --preset default >/dev/null
targets=(test_faultinjection)
[[ $which == quick ]] || targets+=(test_faultinjection_slow)
cmake --build --preset default --target "${targets[@]}" korvane-s-sim -j 2 >/dev/null
# A quick run keeps the slow rows of the last full run.
rm -f build/reliability/faults-quick.tsv
[[ $which == quick ]] || rm -f build/reliability/faults-slow.tsv
regex="^test_faultinjection\$"
[[ $which == quick ]] || regex="^test_faultinjection(_slow)?\$"
set +e
ctest --test-dir build -R "$regex" -j 2 --output-on-failure
rc=$?
set -e
out=docs/reliability/faults.tsv
mkdir -p "$(dirname "$out")"
first=1
: >"$out.new"
for f in build/reliability/faults-quick.tsv build/reliability/faults-slow.tsv; do
  [[ -f $f ]] || continue
  if ((first)); then cat "$f" >>"$out.new"; first=0; else tail -n +2 "$f" >>"$out.new"; fi
done
if [[ -s $out.new ]]; then mv "$out.new" "$out"; else rm -f "$out.new"; fi
# When, and from which commit, each part of the table was last run: a quick run replaces
# only the quick line, so the slow rows keep the stamp of the run that made them.
runs=docs/reliability/faultruns.tsv
now=$(date -u +%Y-%m-%dT%H:%M:%SZ)
{
  printf 'part\tfinished_utc\tcommit\tctest_exit\n'
  printf 'quick\t%s\t%s\t%s\n' "$now" "$commit" "$rc"
  if [[ $which == quick ]]; then
    grep $'^slow\t' "$runs" 2>/dev/null || true
  else
    printf 'slow\t%s\t%s\t%s\n' "$now" "$commit" "$rc"
  fi
} >"$runs.new"
mv "$runs.new" "$runs"
/usr/bin/python3 tools/reliability/render-report.py
exit $rc
