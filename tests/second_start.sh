#!/usr/bin/env bash
# A second start of the loader raises the first one and ends; the first one keeps running.
set -u
loader="$1"
command -v xvfb-run > /dev/null || { echo "xvfb-run is not installed"; exit 77; }
dir=$(mktemp -d)
trap 'kill $first 2>/dev/null; rm -rf "$dir"' EXIT
export VOK_PROFILE="$dir/p.ini"
export XDG_RUNTIME_DIR="$dir"
# Started where no file/ is, the loader makes its working folder here from the samples.
export XDG_DATA_HOME="$dir/data"
cat > "$dir/run.sh" <<INNER
cd "$dir"
"$loader" > first.log 2>&1 &
first=\$!
sleep 4
timeout 20 "$loader" > second.log 2>&1
echo "second=\$?" > result
kill -0 \$first 2>/dev/null && echo alive >> result
kill \$first
INNER
xvfb-run -a -s "-screen 0 1024x768x24" bash "$dir/run.sh"
cat "$dir/result"
grep -q "second=0" "$dir/result" && grep -q alive "$dir/result" && [ -f "$dir/data/vok-tools/file/language1/language.csv" ]
