#!/usr/bin/env bash
# Drives korvane-s on an X display without a person: File > Program Korvane-S, Yes, waits
# for the closing message, answers it and exits through File > Exit. Run inside
# xvfb-run (tools/run-demo.sh does). With --shots DIR it also saves the main window, the
# open COM Port menu and the progress window during the upload as PNGs in DIR.
# Usage: demo-drive.sh PROGRAM [--shots DIR]
# DEMO_MAIN_TITLE names the main window when it is not the plain caption (a program started
# with a settings file shows "Korvane-S : FILE").
set -euo pipefail
prog=$1; shift
shots=""
if [[ "${1:-}" == "--shots" ]]; then shots=$2; mkdir -p "$shots"; fi

shot() { # name x y w h: a crop of the screen
  [[ -n "$shots" ]] || return 0
  import -window root -crop "$4x$5+$2+$3" +repage "$shots/$1.png"
}
exact() { # title: a regular expression that matches exactly that title
  printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$?+(){}|]/\\&/g')"
}
find_window() { # title: the id of a visible window of exactly that title, or nothing
  xdotool search --onlyvisible --name "$(exact "$1")" 2>/dev/null | head -1 || true
}
wait_window() { # title [seconds]: the window id once a window of that title is mapped
  local deadline=$((SECONDS + ${2:-60})) id
  while ((SECONDS < deadline)); do
    id=$(find_window "$1")
    if [[ -n "$id" ]]; then echo "$id"; return 0; fi
    sleep 0.2
  done
  echo "demo: no window \"$1\" appeared" >&2
  return 1
}
press() { # window key...: focus the window and type the keys
  local w=$1; shift
  # No window manager under xvfb-run: give the window the input focus directly.
  xdotool windowfocus --sync "$w" 2>/dev/null || true
  xdotool key --clearmodifiers "$@"
}
geometry() { # window: x y w h
  xdotool getwindowgeometry --shell "$1" | awk -F= '/^X=/{x=$2}/^Y=/{y=$2}/^WIDTH=/{w=$2}/^HEIGHT=/{h=$2}END{print x, y, w, h}'
}

"$prog" &
pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT

main=$(wait_window "${DEMO_MAIN_TITLE:-Korvane-S Configuration Utility}" 60)
sleep 0.5
read -r mx my mw mh < <(geometry "$main")
shot main-window "$mx" "$my" "$mw" "$mh"

press "$main" ctrl+p
question=$(wait_window "Program All Filters?" 10)
press "$question" Return   # Yes is the default button

if [[ -n "$shots" ]]; then
  comm=$(wait_window "Transferring Filters" 30) || comm=""
fi
if [[ -n "$shots" && -n "$comm" ]]; then
  # Wait until the filter upload runs, so the packet counter and the bar show.
  deadline=$((SECONDS + 90))
  while ((SECONDS < deadline)) && ! grep -q '^F P F' "${KORVANE_DEMO_SIM_LOG:-/dev/null}" 2>/dev/null; do sleep 0.3; done
  sleep 4
  read -r cx cy cw ch < <(geometry "$comm")
  shot progress-window "$cx" "$cy" "$cw" "$ch"
fi

result=""
deadline=$((SECONDS + 1800))   # a firmware reload at 9600 baud takes up to 20 minutes
while ((SECONDS < deadline)) && [[ -z "$result" ]]; do
  for title in "Success" "Programming Aborted" "Communications Error!" "Temporary File Error"; do
    id=$(find_window "$title")
    if [[ -n "$id" ]]; then result=$title; break; fi
  done
  sleep 0.3
done
[[ -n "$result" ]] || { echo "demo: the run did not finish" >&2; exit 1; }
echo "demo: the program reported \"$result\""
press "$id" Return
sleep 0.5
# Any further message of a failed run (the abort after a specific error).
for title in "Programming Aborted"; do
  id=$(find_window "$title")
  [[ -n "$id" ]] && press "$id" Return
done
sleep 0.5
if [[ -n "$shots" ]]; then
  press "$main" alt+f
  sleep 0.4
  press "$main" m
  sleep 0.4
  # Rest the pointer on COM 3 so its tip names the device behind it.
  xdotool mousemove $((mx + 300)) $((my + 170))
  sleep 0.3
  xdotool mousemove $((mx + 305)) $((my + 171))
  sleep 1.5
  shot com-port-menu "$mx" "$my" $((mw + 260)) "$mh"
  press "$main" Escape Escape Escape
  sleep 0.3
fi

press "$main" alt+f
sleep 0.3
press "$main" x
wait $pid || true
trap - EXIT
[[ "$result" == "Success" ]]
