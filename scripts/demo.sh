#!/usr/bin/env bash
# Installs what is missing, builds, and starts the loader in a fresh working folder (run/demo)
# that holds the sample language folders, against the simulated demo line (voksim) on a
# pseudo-terminal. Without a display the loader runs under Xvfb.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

bash scripts/deps.sh
cmake --preset release
cmake --build --preset release -j2

run="$top/run/demo"
bin="$top/build/release/bin"
mkdir -p "$run/DATA"
[ -d "$run/file" ] || cp -r sample/file "$run/file"
export VOK_PROFILE="$run/vokloader.ini"
if [ ! -f "$VOK_PROFILE" ]; then
  # COM1 is the simulator's pseudo-terminal; 19200 baud, 8N1, as the demo line.
  printf '[VOK_Support]\nCom_no=1\nBps=3\nParty=0\nByte=1\nStop=0\nCmd_mode=0\nLanguage=0\nDebug_mode=0\n\n[Ports]\nCOM1=%s\n' \
    "$run/vok-tty" > "$VOK_PROFILE"
fi

"$bin/voksim" sample/lines/demo.line --link "$run/vok-tty" --control "$run/voksim.ctl" --log "$run/DATA/voksim-frames.log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$run/vok-tty" ] && break; sleep 0.1; done
echo "The simulated line is on COM1 ($run/vok-tty); change faults with: $bin/voksim --tell $run/voksim.ctl fault 2 silent"

cd "$run"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running the loader under Xvfb (close it with Ctrl+C)."
  xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/vok-loader"
else
  "$bin/vok-loader"
fi
