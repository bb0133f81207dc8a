#!/usr/bin/env bash
# Builds everything and runs every test twice: the default build, then the AddressSanitizer
# + UndefinedBehaviorSanitizer build (preset asan, build-asan/). Usage: bash tools/run-tests.sh
#   KORVANE_SKIP_ASAN=1   only the default build (a quick local run)
# Tests labelled "slow" are left out of the sanitizer pass; they run in the default pass.
# Each pass appends its timings and counts to docs/reliability/testruns.tsv.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
jobs=$(nproc)
log=docs/reliability/testruns.tsv
mkdir -p "$(dirname "$log")"
[[ -f $log ]] || printf 'finished_utc\tbuild\tbuild_seconds\tctest_seconds\ttests\tfailed\toptions\tcommit\n' >"$log"
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)

# pass NAME PRESET BUILD-DIR OPTIONS CTEST-ARGS...: configure + build, then ctest; logs one line.
pass() {
  local name=$1 preset=$2 dir=$3 options=$4
  shift 4
  local t0 t1 t2 out rc total failed
  # Whether this pass builds from nothing (as on CI) or on top of an earlier build.
  [[ -f $dir/build.ninja ]] && options="incremental; $options" || options="fresh; $options"
  t0=$(date +%s)
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  t1=$(date +%s)
  out=$(mktemp)
  set +e
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@" 2>&1 | tee "$out"
  rc=${PIPESTATUS[0]}
  set -e
  t2=$(date +%s)
  total=$(grep -oE 'tests failed out of [0-9]+' "$out" | grep -oE '[0-9]+$' || echo 0)
  failed=$(grep -oE '[0-9]+ tests failed out of' "$out" | grep -oE '^[0-9]+' || echo "?")
  rm -f "$out"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$name" $((t1 - t0)) $((t2 - t1)) \
    "$total" "$failed" "$options" "$commit" >>"$log"
  echo "== $name: build $((t1 - t0)) s, ctest $((t2 - t1)) s, $failed of $total failed"
  return "$rc"
}

status=0
pass default default build "all tests" || status=1
if [[ ${KORVANE_SKIP_ASAN:-0} != 1 ]]; then
  # Leak checking stays on: the Qt parts in use (core, widgets on the offscreen platform,
  # serial port) free what they allocate. The UB checks abort, so any report fails the test.
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  pass asan asan build-asan "ASAN_OPTIONS=$ASAN_OPTIONS; UBSAN_OPTIONS=$UBSAN_OPTIONS; -LE slow" -LE slow || status=1
fi
if [[ -x /usr/bin/python3 && -f tools/reliability/render-report.py ]]; then
  /usr/bin/python3 tools/reliability/render-report.py || true
fi
exit $status
