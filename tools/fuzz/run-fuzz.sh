#!/usr/bin/env bash
# Runs a fuzz target for a given time and logs what it did.
#   bash tools/fuzz/run-fuzz.sh TARGET SECONDS     one target (fuzz_settingsfile, fuzz_eq20, ...)
#   bash tools/fuzz/run-fuzz.sh all SECONDS        every target built, one after another
# Builds the targets in build-fuzz/ (clang, KORVANE_FUZZ=ON; KORVANE_FUZZ_BUILD overrides the
# folder), seeds each from fuzz/corpus/TARGET/ and grows a working corpus in
# build-fuzz/fuzz-corpus/TARGET/ (never in the repository). Each target runs as one process
# on one core, within 1024 MB of memory (KORVANE_FUZZ_RSS_MB overrides; more is a finding). A
# line per run (executions, crashes, the inputs kept) is appended to fuzz/results.tsv and
# docs/RELIABILITY.md is rendered again from the logs.
# Exit status: 0 when no run found a crash, 1 when one did, 2 on a usage error.
set -euo pipefail
cd "$(dirname "$0")/../.."

usage() { echo "usage: $0 TARGET|all SECONDS" >&2; exit 2; }
[[ $# -eq 2 ]] || usage
target=$1
seconds=$2
[[ $seconds =~ ^[0-9]+$ && $seconds -gt 0 ]] || usage

build=${KORVANE_FUZZ_BUILD:-build-fuzz}
[[ $build = /* ]] || build=$PWD/$build  # some targets change their working folder
results=fuzz/results.tsv
if [[ ! -f $build/build.ninja ]]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DKORVANE_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi

if [[ $target == all ]]; then
  cmake --build "$build" --target fuzzers -j 2 >/dev/null
  mapfile -t targets < <(cd "$build/fuzz-bin" && ls fuzz_* | sort)
else
  cmake --build "$build" --target "$target" -j 2 >/dev/null
  targets=("$target")
fi

[[ -f $results ]] || printf 'finished_utc\ttarget\tseconds\texecutions\tcrashes\tkept_inputs\tcommit\tcommand\n' >"$results"
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -z $(git status --porcelain -- . ':!fuzz/results.tsv' ':!docs' 2>/dev/null) ]] || commit="$commit+"

status=0
for t in "${targets[@]}"; do
  bin=$build/fuzz-bin/$t
  seeds=$PWD/fuzz/corpus/$t
  work=$build/fuzz-corpus/$t
  artifacts=$build/fuzz-artifacts/$t
  log=$build/fuzz-logs/$t-$(date -u +%Y%m%dT%H%M%S).log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")" "$seeds"
  before=$(ls "$artifacts" | sort)
  # Leaks are checked: Qt's process-wide allocations happen once, outside the inputs.
  dict=()
  [[ ! -f fuzz/$t.dict ]] || dict=(-dict="$PWD/fuzz/$t.dict")
  set +e
  # -reload=0: one process owns the working corpus, so rereading it from disk (a tenth of
  # the settings target's time) finds nothing new.
  # Allocation stacks of two frames only, enough for the leak suppressions to know the
  # allocating function: full stacks cost a quarter of the time of the image and settings
  # targets. A fault is still caught; re-running its kept input with the target alone prints
  # the full report. The quarantine of freed blocks, in which ASan holds them to catch a later
  # use, is kept to 64 MB instead of 256: the memory limit is there to measure the reader
  # (whose largest clip takes 256 MB of samples and, while its buffer grows, 384 MB), not
  # blocks the program has already given back. Leaks of the system's libraries that nothing
  # of ours can free are listed in fuzz/lsan-third-party.supp; they still add to the memory
  # a process holds, so a long run of the audio target ends at its limit after some 4 million
  # inputs (fuzz/findings.tsv): run it again rather than for longer.
  ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=2:quarantine_size_mb=64} \
    LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/fuzz/lsan-third-party.supp:print_suppressions=0} "$bin" "${dict[@]}" -max_total_time="$seconds" -print_final_stats=1 -timeout=30 -rss_limit_mb="${KORVANE_FUZZ_RSS_MB:-1024}" -reload=0 \
    -artifact_prefix="$artifacts/" "$work" "$seeds" >"$log" 2>&1
  rc=$?
  set -e
  executions=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  if [[ -z $executions ]]; then
    # Stopped by a crash: libFuzzer prints no final stats, only the last status line.
    executions=$(grep -oE '^#[0-9]+' "$log" | tr -d '#' | tail -1 || true)
  fi
  kept=$(comm -13 <(echo "$before") <(ls "$artifacts" | sort) | grep -E '^(crash|leak|timeout|oom)-' || true)
  crashes=$(echo -n "$kept" | grep -c . || true)
  # 72 is libFuzzer's exit after Ctrl+C or SIGTERM (it prints its final figures first): a run
  # stopped by hand, not a finding.
  if [[ $rc -eq 72 && $crashes -eq 0 ]]; then kept="(stopped by hand)"; rc=0; fi
  if [[ $rc -ne 0 && $crashes -eq 0 ]]; then crashes=1; kept="(exit $rc, see $log)"; fi
  [[ $crashes -eq 0 ]] || status=1
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$t" "$seconds" "${executions:-0}" \
    "$crashes" "$(echo "$kept" | paste -sd, - | sed 's/^$/-/')" "$commit" "tools/fuzz/run-fuzz.sh $t $seconds" >>"$results"
  echo "$t: ${executions:-0} executions in ${seconds}s, $crashes crash(es)${kept:+: $kept} (log $log)"
done

/usr/bin/python3 tools/reliability/render-report.py
exit $status
