#!/usr/bin/env bash
# Runs a command that starts Windows programs with windows under Wine, on an
# X display of its own (Xvfb), in a prefix of its own (its session knows
# that display) whose Fonts folder holds Wine's Tahoma from Debian's
# fonts-wine: the forms' font, which Qt finds only there (else it takes a
# stand-in whose letters may be boxes or fall outside a line edit):
#   run_on_display.sh WINE_RUN PREFIX COMMAND [ARGUMENTS...]
# COMMAND runs with DISPLAY set. At the end the prefix's Wine processes end
# and the display goes.
set -euo pipefail
wine_run=$1 prefix=$2
shift 2
scratch=$(mktemp -d)
xvfb_pid=
stop_wine() { WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2> /dev/null || true; }
cleanup() {
  stop_wine
  [ -z "$xvfb_pid" ] || { kill "$xvfb_pid" 2> /dev/null; wait "$xvfb_pid" 2> /dev/null || true; }
  rm -rf "$scratch"
}
trap cleanup EXIT

"$wine_run" "$prefix" || { echo "the Wine prefix cannot be made" >&2; exit 1; }
fonts="$prefix/drive_c/windows/Fonts"
[ -d "$fonts" ] || { echo "the prefix has no folder $fonts" >&2; exit 1; }
for font in tahoma.ttf tahomabd.ttf; do
  [ -f "$fonts/$font" ] || cp "/usr/share/wine/fonts/$font" "$fonts/" \
    || { echo "Wine's $font is missing (package fonts-wine)" >&2; exit 1; }
done
# Wine's processes made with the prefix knew no display; the programs'
# start a session of their own on this one.
stop_wine

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3> "$scratch/display" 2> "$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
display=$(head -n1 "$scratch/display")
[ -n "$display" ] || { echo "Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2; exit 1; }
DISPLAY=":$display" "$@"
