#!/usr/bin/env bash
# The whole program used with the keyboard alone, as a person who cannot use a mouse would:
# keyboard_drive.py changes Stage 1 of set 0 to a 2700 Hz Lowpass, undoes and redoes it,
# programs the simulated processor and exits. Then the processor must hold exactly the image
# the command-line tool builds from the default.min the program wrote at exit, and that file
# must hold the 2700 Hz Lowpass. A screen reader must have been told the stages and the result.
# Usage (ctest runs it): /usr/bin/python3 atspi_support.py bash keyboard_run.sh PROGRAM_DIR, which
# gives it an X server (Xvfb) and a session bus of its own.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
t=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$t"
}
trap cleanup EXIT
fail() { echo "keyboard run: $*" >&2; exit 1; }

mkdir -p "$t/prog" "$t/work" "$t/ports" "$t/config" "$t/data"
for f in korvane-s libkorvanes.so korvanes.fwr 20Band; do cp "$bin/$f" "$t/prog/"; done
# The program starts from a settings file, as after its first run: a model read from a file has
# every set at 7.5 kHz, as the one read back from default.min at the end, where a model that
# starts without a file has 5 kHz.
"$bin/korvane-s-cli" new "$t/work/default.min" --port 1 >/dev/null
export KORVANE_COM_DIR=$t/ports XDG_CONFIG_HOME=$t/config XDG_DATA_HOME=$t/data KORVANE_ALLOW_STANDIN_FIRMWARE=1

# The processor on COM 1, where a new model looks first; its firmware is that of korvanes.fwr
# and it holds 4 filters, so there is no reload. The line is unpaced: the fastest honest run.
"$bin/korvane-s-sim" --com 1 --filters 4 --image-out "$t/received.bin" >"$t/sim.out" 2>&1 &
pids+=($!)
# The listener asks for the accessibility bus first, which starts it (D-Bus activation).
/usr/bin/python3 "$here/keyboard_drive.py" listen "$t/heard.txt" &
pids+=($!)
for _ in $(seq 300); do
  grep -qs '^LINK' "$t/sim.out" && grep -qs '^READY' "$t/heard.txt" && break
  sleep 0.1
done
grep -qs '^LINK' "$t/sim.out" || fail "the simulated processor did not start: $(cat "$t/sim.out")"
grep -qs '^READY' "$t/heard.txt" || fail "the accessibility listener did not start"

(cd "$t/work" && exec "$t/prog/korvane-s") &
prog=$!
pids+=("$prog")
/usr/bin/python3 "$here/keyboard_drive.py" drive
wait "$prog" || fail "the program did not end cleanly after File > Exit"

settings=$t/prog/default.min
[[ -f $settings ]] || fail "no default.min in the program folder"
shown=$("$bin/korvane-s-cli" show "$settings")
sed -n '/^Filter 0:/,/^$/p' <<<"$shown" | tr -s ' \n' ' ' | grep -q 'Stage 1: Lowpass Cutoff frequency: 2700 Hz' || fail "default.min lacks the 2700 Hz Lowpass: $shown"
"$bin/korvane-s-cli" build-image "$settings" -o "$t/expected.bin" >/dev/null
cmp "$t/received.bin" "$t/expected.bin" || fail "the processor does not hold the image of the configuration"
echo "keyboard run: the processor holds the $(stat -c %s "$t/received.bin")-byte image of default.min"

# The listener writes what it heard as the events reach it, which may be a moment after the run.
for _ in $(seq 100); do grep -qs '^ALERT Success' "$t/heard.txt" && break; sleep 0.1; done
cat "$t/heard.txt"
# Every stage in order and the result, each as its own notification; a packet count is said
# only after 5 s of upload, which an unpaced line may or may not take.
heard=$(grep '^NOTICE ' "$t/heard.txt" | grep -v '^NOTICE Data Packet [0-9]* of 224$' || true)
expected='NOTICE Finding Korvane-S
NOTICE Configuring Filters
NOTICE Determining Firmware Status
NOTICE Programming Filters
NOTICE Verifying Filters
NOTICE Success'
[[ $heard == "$expected" ]] || fail "a screen reader was told otherwise than expected"
grep -qF 'ALERT Success | Korvane-S successfully programmed' "$t/heard.txt" || fail "the result's message was not read"
