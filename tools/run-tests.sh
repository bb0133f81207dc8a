#!/usr/bin/env bash
# Builds everything and runs every test twice: the default build, then the AddressSanitizer
# + UndefinedBehaviorSanitizer build (preset asan, build-asan/). Usage: bash tools/run-tests.sh
#   KORVANE_SKIP_ASAN=1   only the default build (a quick local run)
#   KORVANE_NO_CCACHE=1   compile without ccache (to time a build from nothing)
# Tests labelled "slow" or "realtime" (they wait on paced lines or run a whole program in real
# time) are left out of the sanitizer pass and run in the default pass only.
# Each pass appends its timings and counts to docs/reliability/testruns.tsv.
#
# The sanitizer build runs at low priority beside the default build and tests: the tests spend
# most of their time waiting on paced serial lines and simulated time-outs, so the CPUs are
# free. Its build_seconds in the log is therefore wall time overlapped with the default pass.
set -euo pipefail
cd "$(dirname "$0")/.."
# The tests run programs as another user (runuser, useradd), which live in the system folders:
# a caller whose PATH lacks them (a bare environment) still finds them.
export PATH="$PATH:/usr/sbin:/sbin"
bash tools/install-deps.sh
jobs=$(nproc)
log=docs/reliability/testruns.tsv
mkdir -p "$(dirname "$log")"
[[ -f $log ]] || printf 'finished_utc\tbuild\tbuild_seconds\tctest_seconds\ttests\tfailed\toptions\tcommit\n' >"$log"
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)

# ccache, when installed (tools/install-deps.sh installs it). Paths under the checkout are
# hashed relative to the compiling folder and the folder itself is not hashed, so a fresh
# clone anywhere reuses what a clone elsewhere compiled. The base is the checkout itself, not
# its parent: a checkout at /src would otherwise make / the base, and system headers would be
# hashed by their path relative to the clone. Debug info then names the folder of whichever
# build compiled an object first; the source file names in it stay right.
use_ccache=0
if [[ ${KORVANE_NO_CCACHE:-0} != 1 ]] && command -v ccache >/dev/null; then
  use_ccache=1
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  # The tests share one precompiled QtCore (tests/support); ccache caches the compiles that use
  # it only when told to trust it this far. Nothing here uses __DATE__ or __TIME__.
  export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

# build PRESET BUILD-DIR CMAKE-ARGS...: configure + build. Sets build_seconds and build_notes
# (fresh or incremental, ccache hits); returns the build's status.
build() {
  local preset=$1 dir=$2
  shift 2
  local t0 stats rc=0
  # Whether this build starts from nothing (as on CI) or on top of an earlier build.
  [[ -f $dir/build.ninja ]] && build_notes=incremental || build_notes=fresh
  # ccache notes each compile's outcome here (its own counters would mix in other builds).
  stats=$(mktemp)
  t0=$(date +%s)
  cmake --preset "$preset" "$@" >/dev/null && CCACHE_STATSLOG=$stats cmake --build --preset "$preset" -j "$jobs" || rc=$?
  build_seconds=$(($(date +%s) - t0))
  if ((use_ccache)); then
    build_notes="$build_notes; ccache $(grep -cxE '(direct|preprocessed)_cache_hit' "$stats" || true) hits"
    build_notes="$build_notes $(grep -cx cache_miss "$stats" || true) misses"
  fi
  rm -f "$stats"
  return "$rc"
}

# run_tests NAME DIR BUILD-SECONDS BUILD-STATUS OPTIONS CTEST-ARGS...: ctest (unless the build
# failed), then one log line. Returns non-zero when the build or any test failed.
run_tests() {
  local name=$1 dir=$2 build_s=$3 build_rc=$4 options=$5
  shift 5
  local t0 out rc total failed
  t0=$(date +%s)
  if ((build_rc == 0)); then
    out=$(mktemp)
    set +e
    # One more test than CPUs: most tests wait on paced lines, the simulator or Xvfb (the longest
    # sanitizer tests, fault injection and sequence faults, on the simulated processor).
    ctest --test-dir "$dir" --output-on-failure -j $((jobs + 1)) "$@" 2>&1 | tee "$out"
    rc=${PIPESTATUS[0]}
    set -e
    total=$(grep -oE 'tests failed out of [0-9]+' "$out" | grep -oE '[0-9]+$' || echo 0)
    failed=$(grep -oE '[0-9]+ tests failed out of' "$out" | grep -oE '^[0-9]+' || echo "?")
    rm -f "$out"
  else
    rc=$build_rc total=0 failed="build failed"
  fi
  local ctest_s=$(($(date +%s) - t0))
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$name" "$build_s" "$ctest_s" \
    "$total" "$failed" "$options" "$commit" >>"$log"
  echo "== $name: build $build_s s, ctest $ctest_s s, $failed of $total failed"
  return "$rc"
}

status=0
# The layout check is cheap and runs first; a file out of format fails the run, but the tests
# still run so one report shows everything.
bash tools/check-format.sh || status=1
# Both passes compile each library as a few unity files (up to eight sources in one), which
# parse the Qt headers once instead of eight times: most of a build from nothing. lld, when
# installed, links the sixty-odd test programs several times faster than ld. A build by hand
# keeps one object a source (quicker to rebuild after an edit) unless it asks for the same.
build_flags=(-DCMAKE_UNITY_BUILD=ON)
if command -v ld.lld >/dev/null; then
  build_flags+=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)
fi
# The background build ends with the script (Ctrl+C, a kill): the build and all its children.
kill_tree() {
  local child
  for child in $(ps -o pid= --ppid "$1"); do kill_tree "$child"; done
  kill "$1" 2>/dev/null || true
}
asan_pid=
trap '[[ -z $asan_pid ]] || kill_tree "$asan_pid"' EXIT
# Leak checking stays on: the Qt parts in use (core, widgets on the offscreen platform, serial
# port) free what they allocate. The UB checks abort, so any report fails the test.
sanitizer_env=(ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)
sanitizer_notes="${sanitizer_env[*]}; -LE slow|realtime"
if [[ ${KORVANE_SKIP_ASAN:-0} != 1 ]]; then
  # Only what its tests need: no benchmarks or screenshot programs, and no programs of the slow
  # or real-time tests that this pass leaves out. It starts first, at the lowest priority, so
  # it takes only what the default build leaves idle (the waits on one step, such as a
  # program's link, that everything after it needs) and then the CPUs that the default tests,
  # which mostly wait on lines and time-outs, leave free. Its output goes to a file that is
  # shown once the default tests are done, so the two do not interleave.
  asan_out=$(mktemp)
  (
    renice -n 19 -p "$BASHPID" >/dev/null
    build asan build-asan -DKORVANE_BUILD_EXTRAS=OFF "-DKORVANE_SKIP_TEST_LABELS=slow;realtime" "${build_flags[@]}" \
      && rc=0 || rc=$?
    printf '%s\t%s\t%s\n' "$rc" "$build_seconds" "$build_notes" >"$asan_out.result"
  ) >"$asan_out" 2>&1 &
  asan_pid=$!
fi

default_rc=0
build default build "${build_flags[@]}" || default_rc=$?
default_build_s=$build_seconds default_notes=$build_notes

run_tests default build "$default_build_s" "$default_rc" "$default_notes; all tests" || status=1

if [[ -n $asan_pid ]]; then
  wait "$asan_pid" || true
  asan_pid=
  echo "== asan build (ran beside the default tests):"
  cat "$asan_out"
  IFS=$'\t' read -r asan_rc asan_build_s asan_notes <"$asan_out.result"
  export "${sanitizer_env[@]}"
  rm -f "$asan_out" "$asan_out.result"
  run_tests asan build-asan "$asan_build_s" "$asan_rc" \
    "$asan_notes; overlapped; $sanitizer_notes" -LE 'slow|realtime' || status=1
fi
if [[ -x /usr/bin/python3 && -f tools/reliability/render-report.py ]]; then
  /usr/bin/python3 tools/reliability/render-report.py || true
fi
exit $status
