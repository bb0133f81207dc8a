#!/usr/bin/env bash
# Builds the program and runs its main job on this machine: programming the Korvane-S,
# here the simulated processor korvane-s-sim attached as COM 3 on a pseudo-terminal.
#
# Usage: bash tools/run-demo.sh          the program korvane-s; with no DISPLAY it runs under
#                                        xvfb-run and is driven by tools/demo-drive.sh
#        bash tools/run-demo.sh --cli    the same run through korvane-s-cli program
#        bash tools/run-demo.sh --shots DIR   headless run that also saves screenshots
# KORVANE_DEMO_PACE=none moves the bytes as fast as the pty can (default 9600: real line
# timing, about 35 s for the upload).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"
bin=$PWD/build/bin

mode=gui
shots=""
case "${1:-}" in
  --cli) mode=cli ;;
  --shots) mode=shots; shots=$(realpath -m "${2:?--shots needs a folder}") ;;
  "") ;;
  *) echo "usage: bash tools/run-demo.sh [--cli | --shots DIR]" >&2; exit 2 ;;
esac

demo=$(mktemp -d /tmp/korvane-demo.XXXXXX)
# The port folder: COM n is the link $KORVANE_COM_DIR/comN. Setting it also keeps the
# program away from the machine's real serial lines.
export KORVANE_COM_DIR=$demo/ports
export KORVANE_DEMO_SIM_LOG=$demo/sim.log
# The build's korvanes.fwr is a stand-in for the simulated processor; the program sends it
# only with this developer switch on.
export KORVANE_ALLOW_STANDIN_FIRMWARE=1
mkdir -p "$KORVANE_COM_DIR" "$demo/work"
# The processor reports 4 stored filters and the firmware of korvanes.fwr, so no firmware
# reload (13 minutes at 9600 baud) is needed; KORVANE_DEMO_SIM_ARGS adds options, e.g.
# "--version 0104" to see the reload.
"$bin/korvane-s-sim" --com 3 --filters 4 ${KORVANE_DEMO_SIM_ARGS:-} --pace "${KORVANE_DEMO_PACE:-9600}" --log "$demo/sim.log" \
  --image-out "$demo/received-filter.bin" --firmware-out "$demo/received-firmware.bin" >"$demo/sim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 200); do grep -q '^LINK' "$demo/sim.out" && break; sleep 0.1; done
grep -q '^LINK' "$demo/sim.out" || { cat "$demo/sim.out" >&2; echo "demo: the simulated processor did not start" >&2; exit 1; }
echo "demo: simulated processor on $(sed -n 's/^DEVICE //p' "$demo/sim.out"), attached as COM 3 ($KORVANE_COM_DIR/com3)"

# A configuration worth sending: Stage 1 of set 0 a 5-tap smoothing filter imported from a
# text file, the rest pass-through; COM 1 chosen, so discovery has to find COM 3. The
# program reads default.min from the folder it starts in.
"$bin/korvane-s-cli" new "$demo/work/default.min" --port 1 >/dev/null
printf '0.1\r\n0.2\r\n0.4\r\n0.2\r\n0.1\r\n' >"$demo/work/smooth.txt"
"$bin/korvane-s-cli" import-coef "$demo/work/default.min" 0 1 "$demo/work/smooth.txt" "$demo/work/default.min" --keep-port >/dev/null
cd "$demo/work"
status=0
case $mode in
  cli)
    "$bin/korvane-s-cli" program "$demo/work/default.min" --port 1 --folder "$bin" --yes || status=$?
    ;;
  gui)
    if [[ -n "${DISPLAY:-}" ]]; then
      echo "demo: programming is File > Program Korvane-S (Ctrl+P); close the window to end the demo"
      "$bin/korvane-s" || status=$?
    else
      xvfb-run -a -s "-screen 0 1280x1024x24" bash "$OLDPWD/tools/demo-drive.sh" "$bin/korvane-s" || status=$?
    fi
    ;;
  shots)
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$OLDPWD/tools/demo-drive.sh" "$bin/korvane-s" --shots "$shots" || status=$?
    ;;
esac

if [[ -f "$demo/received-filter.bin" ]] && cmp -s "$demo/received-filter.bin" "$bin/filter.bin"; then
  echo "demo: the processor holds the $(stat -c %s "$demo/received-filter.bin")-byte filter image the program wrote ($bin/filter.bin)"
else
  echo "demo: the processor did not receive the filter image" >&2
  status=${status/#0/1}
fi
echo "demo: processor log: $demo/sim.log"
exit "$status"
