#!/usr/bin/env bash
# vokctl.exe under Wine, as an engineer runs it on Windows, against the
# simulated meter of the Linux build on a pseudo-terminal mapped to COM43:
#   vokctl_wine_test.sh WINE_RUN PREFIX LINUX_BIN VOKCTL.exe VERSION
# The program carries the meter's icon and a version resource of VERSION.
# A poll and a dump by silence and by length, the dump the Linux vokctl's
# dump of the same meter byte for byte; it loads back and verifies; the scan
# finds the meter; a poll over tcp:// to a gateway; a port that goes away
# ends the link with its message; the history store lives under
# %LOCALAPPDATA% and keeps Cyrillic notes; the report and the comparison of
# a snapshot with a file work from the store; a missing port fails clearly,
# and so does RS-485 mode, which the port refuses; DTR and RTS held on or
# off are kept.
set -uo pipefail
wine_run=$1 prefix=$2 linux_bin=$3 vokctl=$4 version=$5
number=43
scratch=$(mktemp -d)
sim_pid=
tcp_sim_pid=
failures=0
cleanup() {
  [ -z "$sim_pid" ] || { kill "$sim_pid" 2> /dev/null; wait "$sim_pid" 2> /dev/null || true; }
  [ -z "$tcp_sim_pid" ] || { kill "$tcp_sim_pid" 2> /dev/null; wait "$tcp_sim_pid" 2> /dev/null || true; }
  rm -f "$prefix/dosdevices/com$number"
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
# Runs vokctl.exe in the locale given first; its output in $scratch/out and
# $scratch/err, its status in $status.
run() {
  local locale=$1
  shift
  LC_ALL=$locale "$wine_run" "$prefix" "$vokctl" "$@" > "$scratch/out" 2> "$scratch/err"
  status=$?
}
expect_status() {
  local want=$1 what=$2
  [ "$status" -eq "$want" ] || fail "$what: status $status, not $want; stderr: $(cat "$scratch/err")"
}

wrestool -l --type=14 "$vokctl" | grep -q group_icon || fail "no icon in $vokctl"
resource_texts=$(wrestool -x --raw --type=16 "$vokctl" | iconv -f UTF-16LE -t UTF-8 2> /dev/null | tr -c '[:print:]\n' '\n')
grep -qx "$version" <<< "$resource_texts" || fail "no version $version in the version resource"
grep -qx "VOK Tarnel V2" <<< "$resource_texts" || fail "no product name in the version resource"

# The prefix is made before the port is mapped into it.
"$wine_run" "$prefix" || { echo "the Wine prefix cannot be made" >&2; exit 1; }
store_folder=$(find "$prefix/drive_c/users" -mindepth 3 -maxdepth 3 -path '*/AppData/Local' | head -n1)/"VOK Tarnel"
rm -rf "$store_folder"

"$linux_bin/vok-meter-sim" > "$scratch/port" 2> "$scratch/sim.log" &
sim_pid=$!
for _ in $(seq 100); do [ -s "$scratch/port" ] && break; sleep 0.1; done
pts=$(head -n1 "$scratch/port")
[ -c "$pts" ] || { echo "the simulator did not start: $(cat "$scratch/sim.log")" >&2; exit 1; }
mkdir -p "$prefix/dosdevices"
ln -sfn "$pts" "$prefix/dosdevices/com$number"
port=(--port "COM$number")

expect_poll() {
  local what=$1
  expect_status 0 "$what"
  [ "$(wc -l < "$scratch/out")" -eq 17 ] || fail "$what: $(wc -l < "$scratch/out") lines, not 17"
  grep -q "^Серийный номер	2001	float	20417.000000" "$scratch/out" \
    || fail "$what: no serial number row: $(head -n2 "$scratch/out")"
}

# RS-485 mode is the port's RTS toggle; Wine's serial driver on a
# pseudo-terminal does not take it: one message, and the port opens after it.
run ru_RU.UTF-8 "${port[@]}" --rs485=2,2 poll
expect_status 1 "poll --rs485"
# (Windows ends lines with CR LF; a shell without the Russian locale warns
# about it first.)
rs485_message=$(grep -v '^bash: warning: setlocale' "$scratch/err" | tr -d '\r')
[ "$(head -n1 <<< "$rs485_message")" = "Не удалось открыть порт" ] &&
  [ "$(wc -l <<< "$rs485_message")" -eq 2 ] &&
  grep -q "^Порт COM$number не поддерживает режим RS-485: ." <<< "$rs485_message" ||
  fail "poll --rs485: $rs485_message"

# DTR and RTS held on or off: the DCB's line controls, which the port keeps
# (a control it dropped would fail the open); the meter answers as before.
for lines in "--dtr on --rts off" "--dtr off --rts on"; do
  # shellcheck disable=SC2086
  run C.UTF-8 "${port[@]}" $lines poll
  expect_poll "poll $lines"
done

"$linux_bin/vokctl" --port "$pts" dump "$scratch/linux.par" || fail "the Linux dump"
for framing in "" --fast-framing; do
  run ru_RU.UTF-8 "${port[@]}" $framing poll
  expect_poll "poll $framing"
  rm -f "$scratch/windows.par"
  run ru_RU.UTF-8 "${port[@]}" $framing dump 'Z:'"$scratch/windows.par"
  expect_status 0 "dump $framing"
  cmp -s "$scratch/windows.par" "$scratch/linux.par" || fail "dump $framing: differs from the Linux dump"
done

run ru_RU.UTF-8 "${port[@]}" load 'Z:'"$scratch/windows.par"
expect_status 0 "load of the dump"
run ru_RU.UTF-8 "${port[@]}" --fast-framing verify 'Z:'"$scratch/windows.par"
expect_status 0 "verify of the dump"

run C.UTF-8 "${port[@]}" --address 5 scan --speeds 115200 --addresses 1-3
expect_status 0 "scan"
grep -q "^1	115200	20417" "$scratch/out" || fail "scan: the meter is not found: $(cat "$scratch/out")"

tcp_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$linux_bin/vok-meter-sim" --tcp "$tcp_port" > "$scratch/tcp" 2> "$scratch/tcp-sim.log" &
tcp_sim_pid=$!
for _ in $(seq 100); do [ -s "$scratch/tcp" ] && break; sleep 0.1; done
run C.UTF-8 --port "tcp://127.0.0.1:$tcp_port" poll
expect_poll "poll over tcp://"

run C.UTF-8 "${port[@]}" snapshot --note "Проверка перед пуском"
expect_status 0 "snapshot"
snapshot=$(tr -d '\r' < "$scratch/out")
[[ "$snapshot" =~ ^[0-9]+$ ]] || fail "snapshot: printed '$snapshot', not an ID"
[ -f "$store_folder/history.sqlite" ] || fail "no history store in $store_folder"

run C.UTF-8 history 20417
expect_status 0 "history of the meter"
grep -q "^$snapshot	.*	by-hand	20417.000000	Проверка перед пуском" "$scratch/out" \
  || fail "history: the snapshot or its note is not listed: $(cat "$scratch/out")"
grep -q "	dump	20417.000000" "$scratch/out" || fail "history: the dump's snapshot is not listed"
grep -q "	as-left	20417.000000" "$scratch/out" || fail "history: the load's as-left snapshot is not listed"

run C.UTF-8 diff "$snapshot" 'Z:'"$scratch/windows.par"
expect_status 0 "diff of the snapshot and the dump"

run C.UTF-8 report "$snapshot" "$snapshot" -o 'Z:'"$scratch/report.html" --engineer "Иванов И. И." --place "Куст 5"
expect_status 0 "report"
grep -q "Иванов И. И." "$scratch/report.html" 2> /dev/null || fail "report: no engineer's name in the page"

run C.UTF-8 --port COM97 poll
expect_status 1 "poll on a port that is not there"
grep -q "COM97" "$scratch/err" || fail "a missing port: the message does not name it: $(cat "$scratch/err")"

# The port goes away under a run of polls: the pseudo-terminal ends with the
# simulator once the first poll has been printed.
LC_ALL=C.UTF-8 "$wine_run" "$prefix" "$vokctl" "${port[@]}" poll --count 30 > "$scratch/out" 2> "$scratch/err" &
polls_pid=$!
for _ in $(seq 200); do grep -q "^Значение параметра" "$scratch/out" && break; sleep 0.1; done
grep -q "^Значение параметра" "$scratch/out" || fail "lost port: no first poll"
kill "$sim_pid"
wait "$sim_pid" 2> /dev/null
sim_pid=
for _ in $(seq 600); do kill -0 "$polls_pid" 2> /dev/null || break; sleep 0.1; done
if kill -0 "$polls_pid" 2> /dev/null; then
  fail "lost port: vokctl.exe still runs a minute after the port went away"
  kill "$polls_pid"
fi
wait "$polls_pid"
status=$?
expect_status 1 "polls on a port that goes away"
grep -q "Порт COM$number потерян" "$scratch/err" || fail "lost port: no message: $(cat "$scratch/err")"

rm -rf "$store_folder"
[ "$failures" -eq 0 ] && echo "vokctl.exe: all checks passed"
exit $(( failures > 0 ))
