#!/usr/bin/env bash
# Runs a command (a Windows program through WINE_RUN, or a script that starts
# some) with the simulated meter on a COM port of the prefix:
#   run_with_meter.sh WINE_RUN PREFIX SIMULATOR COM_NUMBER COMMAND [ARGUMENTS...]
# The simulator's pseudo-terminal is linked as comN in the prefix's
# dosdevices and gets XON/XOFF switched on, as a port another program left
# behind; VOK_TEST_PORT names the port for the command.
set -euo pipefail
wine_run=$1 prefix=$2 simulator=$3 number=$4
shift 4
scratch=$(mktemp -d)
sim_pid=
cleanup() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2> /dev/null; wait "$sim_pid" 2> /dev/null || true; }
  rm -f "$prefix/dosdevices/com$number"
  rm -rf "$scratch"
}
trap cleanup EXIT
# The prefix is made before the port is mapped into it.
"$wine_run" "$prefix" || { echo "the Wine prefix cannot be made" >&2; exit 1; }
"$simulator" > "$scratch/port" 2> "$scratch/sim.log" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
pts=$(head -n1 "$scratch/port")
[ -c "$pts" ] || { echo "the simulator did not start: $(cat "$scratch/sim.log")" >&2; exit 1; }
stty -F "$pts" ixon ixoff start ^Q stop ^S
mkdir -p "$prefix/dosdevices"
ln -sfn "$pts" "$prefix/dosdevices/com$number"
VOK_TEST_PORT="COM$number" "$@"
