#!/usr/bin/env bash
# Installs what is missing, builds, and starts the loader in a fresh working folder (run/demo)
# that holds the sample language folders. Without a display the loader runs under Xvfb.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"

bash scripts/deps.sh
cmake --preset release
cmake --build --preset release -j2

run="$top/run/demo"
mkdir -p "$run/DATA"
if [ -d sample/file ] && [ ! -d "$run/file" ]; then
  cp -r sample/file "$run/file"
fi
export VOK_PROFILE="$run/vokloader.ini"
cd "$run"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running the loader under Xvfb (close it with Ctrl+C)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$top/build/release/bin/vok-loader"
fi
exec "$top/build/release/bin/vok-loader"
