#!/usr/bin/env bash
# Runs the simulator program with a port link and reads its main block with
# mbpoll as an independent master; the serial number must come back.
set -euo pipefail
sim="$1"
dir="$(mktemp -d)"
link="$dir/vok-meter"
"$sim" --link "$link" --freeze > "$dir/out" &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true; rm -rf "$dir"' EXIT
for _ in $(seq 100); do [ -L "$link" ] && break; sleep 0.05; done
[ -L "$link" ] || { echo "no port link"; exit 1; }
[ "$(head -n1 "$dir/out")" = "$(readlink "$link")" ] || { echo "printed path differs from the link"; exit 1; }
out="$(timeout 20 mbpoll -m rtu -a 1 -b 115200 -P none -t 4:float -r 2001 -c 1 -1 "$link")"
echo "$out"
grep -q '^\[2001\]:[[:space:]]*20417$' <<< "$out"
out="$(timeout 20 mbpoll -m rtu -a 1 -b 115200 -P none -t 4 -r 53021 -c 1 -1 "$link")"
echo "$out"
grep -q '^\[53021\]:[[:space:]]*10712$' <<< "$out"
kill $pid
wait $pid
[ ! -e "$link" ] || { echo "port link left behind"; exit 1; }
trap 'rm -rf "$dir"' EXIT
