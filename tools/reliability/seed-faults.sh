#!/usr/bin/env bash
# Seeds small source faults, one at a time, into a scratch copy of the tree and runs the test
# suite against each: does some test fail, which one, and how soon?
#
#   bash tools/reliability/seed-faults.sh [options]
#     --faults FILE    fault list (default tools/reliability/seeded-faults.tsv)
#     --only ID,ID     run only these faults
#     --budget S       start no new fault after S seconds (default 3600); the rest are "not run"
#     --scratch DIR    scratch copy (default /tmp/korvane-seed); its build/ is kept between runs
#     --out FILE       result table (default docs/reliability/seedruns.tsv)
#     --no-baseline    skip the unseeded run (tests failing there are otherwise left out)
#     --kin-only       no second pass: a fault its kin tests miss is "missed" without running the
#                      whole suite (for checking new faults and their tests on a shared machine)
#
# The working tree is never touched: the tracked files are copied into the scratch folder
# (modification times kept, so an unchanged file is not rebuilt), the fault is written there,
# built with ninja (-j2, through ccache when it is installed) and the suite run with ctest -j2
# --stop-on-failure, tests labelled slow left out. Each fault runs in two passes: first the
# tests named in its "tests" column (its kin: the quickest place to see it, and only their
# targets built), then, when none failed, the whole suite.
# The file is put back before the next fault.
#
# Fault list: tab-separated, one fault a line, '#' lines ignored:
#   id  area  file  tests(regex, may be empty)  description  original  replacement
# original and replacement are exact text; \n and \t in them stand for a line end and a tab.
# A fault whose original text is not found exactly once in its file is "not applicable".
#
# Result table columns: id, area, file, status (caught / late / missed / not applicable /
# build failed / not run), test (first test to fail), seconds (that test's own run time: the
# time to its failure at most, as a test runs all its cases), pass (kin or rest), description.
# "late" is a failing test that ran more than 60 s, or was ended by its time-out (cut to 200 s). Last line on stdout: "caught N of M (P %)" over the faults that were built.
set -uo pipefail

repo=$(cd "$(dirname "$0")/../.." && pwd)
faults=$repo/tools/reliability/seeded-faults.tsv
only=""
budget=3600
scratch=/tmp/korvane-seed
out=$repo/docs/reliability/seedruns.tsv
baseline=1
kinOnly=0
limit=60
cap=200
while (($#)); do
  case $1 in
    --faults) faults=$(realpath "$2"); shift 2 ;;
    --only) only=$2; shift 2 ;;
    --budget) budget=$2; shift 2 ;;
    --scratch) scratch=$2; shift 2 ;;
    --out) out=$(realpath -m "$2"); shift 2 ;;
    --no-baseline) baseline=0; shift ;;
    --kin-only) kinOnly=1; shift ;;
    *) echo "seed-faults.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[[ -f $faults ]] || { echo "seed-faults.sh: no fault list $faults" >&2; exit 2; }
case $scratch in
  "$repo" | "$repo"/*) echo "seed-faults.sh: the scratch copy must lie outside the tree" >&2; exit 2 ;;
esac

start=$(date +%s)
commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -z $(git -C "$repo" status --porcelain --untracked-files=no 2>/dev/null) ]] || commit="$commit+"
logdir=$scratch/logs
mkdir -p "$scratch/src" "$logdir"
src=$scratch/src
build=$src/build

# ---------------------------------------------------------------- scratch copy and build
echo "== copying the tracked files of $repo to $src"
(cd "$repo" && git ls-files -z | tar --null -T - -cf -) | tar -C "$src" -xf -

# ccache takes paths below the scratch folder as relative, so objects built in another tree
# of the same sources are hits.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$src CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
else
  launcher=()
fi
# Every fault relinks each test that uses its library: lld links them several times faster.
linker=()
if command -v ld.lld >/dev/null; then
  linker=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld)
fi
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "${linker[@]}" \
  >"$logdir/configure.log" 2>&1 \
  || { echo "seed-faults.sh: configure failed, see $logdir/configure.log" >&2; exit 1; }
# A test's own time-out (up to 900 s) is cut to $cap s in the scratch copy, so that a fault that
# makes a test hang costs minutes, not a quarter of an hour; the tests' files are written by
# the configure step, which only this script runs in the scratch copy.
# buildTree LOG [TARGET...]: builds the targets named, or everything.
buildTree() {
  local log=$1
  shift
  cmake --build "$build" -j2 ${1:+--target "$@"} >"$log" 2>&1 || return 1
  find "$build" -name CTestTestfile.cmake -exec sed -i -E \
    "s/TIMEOUT \"([0-9]{4,}|[3-9][0-9]{2}|2[0-9]{2})\"/TIMEOUT \"$cap\"/" {} +
}

# runSuite LOG JOBS CTEST-ARGS...: runs ctest; prints "TEST<TAB>SECONDS<TAB>STATUS" of the
# first test that did not pass, nothing when all passed.
runSuite() {
  local log=$1 jobs=$2
  shift 2
  ctest --test-dir "$build" -j "$jobs" --stop-on-failure -LE slow "$@" >"$log" 2>&1
  # "  3/54 Test  #3: test_model ......***Failed    0.52 sec"; a timed-out test reads
  # "***Timeout  60.01 sec", one that crashed "***Exception: SegFault  0.10 sec".
  grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$log" | grep -v ' Passed ' |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) [ .]*(\*+)?([^0-9]*) +([0-9.]+) sec.*/\1\t\4\t\3/' | head -1
}

excluded=""
if ((baseline)); then
  echo "== baseline build"
  buildTree "$logdir/build-baseline.log" || { echo "seed-faults.sh: the unseeded tree does not build" >&2; exit 1; }
  echo "== baseline suite"
  ctest --test-dir "$build" -j2 -LE slow >"$logdir/ctest-baseline.log" 2>&1
  # A test that fails without any fault (a broken or flaky test, or one too slow for the
  # limit on this machine) would be taken for a catch: it is left out of every run.
  excluded=$(grep -E '^ *[0-9]+/[0-9]+ Test +#[0-9]+: ' "$logdir/ctest-baseline.log" | grep -v ' Passed ' |
    sed -E 's/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .*/\1/' | paste -sd'|')
  [[ -z $excluded ]] || echo "== left out, failing without a fault: $excluded"
fi

# ---------------------------------------------------------------- one fault
# edit.py MODE FILE ORIGINAL REPLACEMENT: MODE count prints how often ORIGINAL occurs; apply
# writes the replacement in place (keeps the file's bytes otherwise).
edit() {
  /usr/bin/python3 - "$@" <<'EOF'
import sys
mode, path, original, replacement = sys.argv[1:5]
unescape = lambda s: s.replace('\\n', '\n').replace('\\t', '\t')
original, replacement = unescape(original), unescape(replacement)
try:
    text = open(path, encoding='utf-8', newline='').read()
except OSError:
    print(0); sys.exit(0)
if mode == 'count':
    print(text.count(original))
else:
    open(path, 'w', encoding='utf-8', newline='').write(text.replace(original, replacement, 1))
EOF
}

mkdir -p "$(dirname "$out")"
printf 'id\tarea\tfile\tstatus\ttest\tseconds\tpass\tdescription\tcommit\n' >"$out.new"
total=0
caught=0
while IFS=$'\t' read -r -u 3 id area file kin description original replacement; do
  [[ -z $id || $id == \#* ]] && continue
  if [[ -n $only && ",$only," != *",$id,"* ]]; then continue; fi
  status="" test="-" secs="-" pass="-"
  target=$src/$file
  if (($(date +%s) - start > budget)); then
    status="not run"
  elif [[ $(edit count "$target" "$original" "$replacement") != 1 ]]; then
    status="not applicable"
  else
    cp -p "$target" "$scratch/original"
    edit apply "$target" "$original" "$replacement"
    first=""
    built=0
    # First pass: only the kin tests' targets are built (each names the programs its test
    # runs as dependencies), then those tests run. Most faults end here.
    kinTargets=()
    for t in ${kin//|/ }; do
      [[ -n $(ninja -C "$build" -t query "$t" 2>/dev/null | head -1) ]] && kinTargets+=("$t")
    done
    if ((${#kinTargets[@]})) && buildTree "$logdir/build-$id-kin.log" "${kinTargets[@]}"; then
      built=1
      args=(-R "$kin")
      [[ -z $excluded ]] || args+=(-E "$excluded")
      # All kin tests at once (they mostly wait on lines and time-outs): ctest starts the
      # longest first, and --stop-on-failure would otherwise keep a quick test that catches
      # the fault waiting behind a minute-long one.
      first=$(runSuite "$logdir/ctest-$id-kin.log" "$((${#kinTargets[@]} > 2 ? ${#kinTargets[@]} : 2))" "${args[@]}")
      pass=kin
    fi
    # Second pass: everything built, the whole suite (kin tests again: a program they run
    # may not be among their targets' dependencies).
    if [[ -z $first ]] && ((kinOnly)); then
      :
    elif [[ -z $first ]]; then
      if buildTree "$logdir/build-$id.log"; then
        built=1
        args=()
        [[ -z $excluded ]] || args=(-E "$excluded")
        first=$(runSuite "$logdir/ctest-$id-rest.log" 2 "${args[@]}")
        pass=rest
      else
        built=0
      fi
    fi
    if ((!built)); then
      status="build failed" pass="-"
    else
      total=$((total + 1))
      if [[ -z $first ]]; then
        status=missed pass="-"
      else
        IFS=$'\t' read -r test secs how <<<"$first"
        if [[ $how == *Timeout* ]] || awk -v s="$secs" -v l="$limit" 'BEGIN { exit !(s > l) }'; then
          status=late
        else
          status=caught
          caught=$((caught + 1))
        fi
      fi
    fi
    # Put the file back, stamped now: older than its seeded object it would not be rebuilt.
    # The next build compiles it once more (a ccache hit) and relinks.
    cp "$scratch/original" "$target"
    touch "$target"
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$area" "$file" "$status" "$test" "$secs" "$pass" \
    "$description" "$commit" >>"$out.new"
  printf '%-8s %-10s %-15s %-22s %s s (%s)\n' "$id" "$area" "$status" "$test" "$secs" "$pass"
done 3<"$faults"
mv "$out.new" "$out"
# Leave the scratch build matching the tree, so the next run starts with nothing to build.
((kinOnly)) || buildTree "$logdir/build-final.log" || true

if ((total > 0)); then
  echo "caught $caught of $total ($(awk -v c=$caught -v t=$total 'BEGIN { printf "%.0f", 100 * c / t }') %)"
else
  echo "caught 0 of 0"
fi
