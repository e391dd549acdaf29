#!/usr/bin/env bash
# Builds the Debian packages and checks them as a user would meet them: their contents,
# lintian, the desktop entries and metainfo, and the programs run from an unpacked tree with
# a fresh home folder (the loader makes its working folder there from the samples).
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset release > /dev/null
cmake --build --preset release -j2
cmake --build --preset release --target package > /dev/null
version=$(sed -n 's/^project(vok VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
cli=build/release/vok-tools-cli_${version}_amd64.deb
gui=build/release/vok-tools_${version}_amd64.deb
fail() { echo "package check: $*" >&2; exit 1; }

contents=$(dpkg-deb -c "$cli"; dpkg-deb -c "$gui")
for path in usr/bin/vok-loader usr/bin/vok-trend usr/bin/vokctl usr/bin/voksim \
            usr/share/applications/org.voktools.loader.desktop usr/share/applications/org.voktools.trend.desktop \
            usr/share/icons/hicolor/scalable/apps/org.voktools.loader.svg \
            usr/share/icons/hicolor/48x48/apps/org.voktools.loader.png \
            usr/share/metainfo/org.voktools.loader.metainfo.xml \
            usr/share/man/man1/vok-loader.1.gz usr/share/man/man1/vokctl.1.gz usr/share/man/man1/voksim.1.gz \
            usr/share/man/man1/vok-trend.1.gz usr/share/bash-completion/completions/vokctl \
            usr/share/vok-tools/file/language1/NameStringTBL.csv usr/share/vok-tools/file/language2/AddContList.csv \
            usr/share/vok-tools/lines/demo.line usr/share/doc/vok-tools/copyright usr/share/doc/vok-tools-cli/changelog.gz; do
  grep -q " \./$path\$" <<< "$contents" || fail "$path is not in the packages"
done
# The command-line package runs without the GUI libraries.
if dpkg-deb -f "$cli" Depends | grep -q 'libqt6gui\|libqt6widgets\|libx11'; then
  fail "vok-tools-cli depends on GUI libraries: $(dpkg-deb -f "$cli" Depends)"
fi

lint=$(lintian "$cli" "$gui" 2>&1 | grep -v 'running with root privileges' || true)
if grep -q '^E:' <<< "$lint"; then
  echo "$lint" >&2
  fail "lintian found errors"
fi
echo "lintian: no errors, $(grep -c '^W:' <<< "$lint" || true) warnings"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
root="$tmp/root"
dpkg -x "$cli" "$root"
dpkg -x "$gui" "$root"
cliroot="$tmp/cli"
dpkg -x "$cli" "$cliroot"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.voktools.loader.metainfo.xml" > /dev/null
desktop-file-validate "$root"/usr/share/applications/*.desktop

export HOME="$tmp/home"
unset XDG_DATA_HOME XDG_CONFIG_HOME VOK_PROFILE
mkdir -p "$HOME" "$tmp/elsewhere"
cd "$tmp/elsewhere"
# Started where no file/ is, the loader makes the user's working folder from the samples.
# It runs until the time-out ends it (124): any other end is a failure.
rc=0
QT_QPA_PLATFORM=offscreen timeout 10 "$root/usr/bin/vok-loader" > "$tmp/loader.log" 2>&1 || rc=$?
[ "$rc" = 124 ] || { cat "$tmp/loader.log"; fail "the loader ended with $rc before its time-out"; }
[ -f "$HOME/.local/share/vok-tools/file/language1/NameStringTBL.csv" ] || { cat "$tmp/loader.log"; fail "no working folder made"; }
[ -d "$HOME/.local/share/vok-tools/DATA" ] || fail "no DATA folder in the working folder"
# The command-line package alone, without a display: its tools need nothing of the windows.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@"; }
nodisplay "$cliroot/usr/bin/vokctl" --help | grep -q '^usage: vokctl' || fail "vokctl --help"
nodisplay "$cliroot/usr/bin/voksim" --help | grep -q '^usage: voksim' || fail "voksim --help"
nodisplay "$cliroot/usr/bin/vokctl" --quiet check "$cliroot/usr/share/vok-tools/file/language1" \
  || fail "vokctl check of the installed samples"
# vokctl alone makes the working folder too, and checks the language folder it put there.
XDG_DATA_HOME="$tmp/xdg" nodisplay "$cliroot/usr/bin/vokctl" check | grep -q "$tmp/xdg/vok-tools/file/language1: consistent" \
  || fail "vokctl did not make and check its working folder"
zcat "$root/usr/share/man/man1/vokctl.1.gz" | grep -q 'copy\\-station' || fail "the vokctl manual lacks its commands"
echo "package check: $(basename "$cli") and $(basename "$gui") are whole and run"
