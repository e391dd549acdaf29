#!/usr/bin/env bash
# Makes the README's screenshots (docs/screenshots) from the demo under Xvfb: the start-up
# dialogs, the grid after the reception, the detail screen, the trend definition and the
# module status screen, and Trend drawing the logged pens.
# Needs the release build (bash scripts/demo.sh builds it) and xdotool, ImageMagick.
set -euo pipefail
for tool in Xvfb xdotool import; do
  command -v "$tool" > /dev/null || { echo "screenshots: $tool is missing (apt-get install xvfb xdotool imagemagick)" >&2; exit 1; }
done
top="$(cd "$(dirname "$0")/.." && pwd)"
bin="$top/build/release/bin"
out="$top/docs/screenshots"
work=$(mktemp -d)
display=:93
mkdir -p "$out" "$work/DATA"
cp -r "$top/sample/file" "$work/file"
export VOK_PROFILE="$work/vokloader.ini" XDG_DATA_HOME="$work/xdg" VOK_TREND_SECTION="/vok-screenshots-$$"
printf '[VOK_Support]\nCom_no=1\nBps=3\n\n[Ports]\nCOM1=%s\n' "$work/vok-tty" > "$VOK_PROFILE"
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT

Xvfb $display -screen 0 1280x1024x24 > /dev/null 2>&1 & pids+=($!)
export DISPLAY=$display
sleep 1
"$bin/voksim" "$top/sample/lines/demo.line" --link "$work/vok-tty" > /dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -e "$work/vok-tty" ] && break; sleep 0.1; done
(cd "$work" && exec "$bin/vok-loader" > "$work/loader.log" 2>&1) & pids+=($!)
sleep 4

shot() { import -window root "$out/$1.png"; echo "$out/$1.png"; }
shot startup-family
xdotool key Return; sleep 1.5
shot startup-mode
xdotool mousemove 464 468 click 1; sleep 0.5; xdotool mousemove 689 554 click 1
# The reception of the demo line at 19200 baud.
sleep 45
shot grid
xdotool mousemove 620 80 click 1; sleep 0.3; xdotool key F1; sleep 2
shot detail
xdotool key Escape; sleep 1
xdotool mousemove 96 8 click 1; sleep 0.7; xdotool mousemove 140 73 click 1; sleep 2
shot trend-definition
xdotool mousemove 875 607 click 1; sleep 1 # its Cancel
xdotool mousemove 96 8 click 1; sleep 0.7; xdotool mousemove 140 30 click 1; sleep 4
shot module-status
xdotool mousemove 1184 471 click 1; sleep 1 # its Cancel
# Start logging the demo group and show it in Trend.
xdotool mousemove 96 8 click 1; sleep 0.7; xdotool mousemove 140 73 click 1; sleep 2
xdotool mousemove 385 607 click 1; sleep 3; xdotool mousemove 557 607 click 1
sleep 60
shot trend
