#!/usr/bin/env bash
# Checks the Debian package that scripts/package made from a build folder as a
# user meets it: lintian, the desktop entry, the AppStream metadata, the
# manual pages, whether apt can install it; then unpacks it into a scratch
# root and runs the installed programs and the bash completion from there.
# Usage: tests/packaging/check_package.sh [build-folder]
set -uo pipefail
cd "$(dirname "$0")/../.."
dir="${1:-build}"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb=$(realpath "$dir"/package/vok-tarnel_"$version"_*.deb)
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
root="$scratch/root"
passed=0 failed=0

pass() { passed=$((passed + 1)); echo "ok: $1"; }
fail() { failed=$((failed + 1)); echo "FAILED: $1"; [ -z "${2:-}" ] || printf '%s\n' "$2" | sed 's/^/    /'; }
# check NAME COMMAND...: passes when COMMAND succeeds within a minute.
check() {
  local name=$1 out
  shift
  if out=$(timeout 60 "$@" 2>&1); then pass "$name"; else fail "$name" "$out"; fi
}
# quiet NAME COMMAND...: passes when COMMAND succeeds and prints nothing.
quiet() {
  local name=$1 out
  shift
  if out=$(timeout 60 "$@" 2>&1) && [ -z "$out" ]; then pass "$name"; else fail "$name" "$out"; fi
}
# Runs a program as a user without root's power over file permissions.
as_user=()
[ "$(id -u)" -ne 0 ] || as_user=(setpriv --bounding-set -dac_override,-dac_read_search,-fowner)
# expect NAME STATUS TEXT COMMAND...: COMMAND ends with STATUS and its
# output (stdout and stderr) holds TEXT.
expect() {
  local name=$1 status=$2 text=$3 out rc
  shift 3
  out=$(timeout 60 "$@" 2>&1)
  rc=$?
  if [ "$rc" -eq "$status" ] && [[ $out == *"$text"* ]]; then pass "$name"; else fail "$name" "status $rc: $out"; fi
}

echo "package: $deb"
lintian_out=$(timeout 120 lintian --fail-on error,warning --display-info "$deb" 2>&1)
if [ $? -eq 0 ]; then pass "lintian: no errors, no warnings"; else fail "lintian" "$lintian_out"; fi
printf '%s\n' "$lintian_out" | grep -v -e '^$' -e 'root privileges' | sed 's/^/    lintian: /'
check "Depends from the binaries" sh -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"
check "apt can install it" apt-get -s -qq install "$deb"

dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x"; exit 1; }
bin="$root/usr/bin"
quiet "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/vok-tarnel.desktop"
check "appstreamcli validate" appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
check "appstreamcli validate-tree" appstreamcli validate-tree --no-net "$root"
for size in 48x48 64x64 128x128 256x256 scalable; do
  ls "$root/usr/share/icons/hicolor/$size/apps/vok-tarnel".* > /dev/null 2>&1 || fail "icon $size"
done
for file in guide.html tab-link.png tab-service.png; do
  [ -f "$root/usr/share/vok-tarnel/guide/$file" ] || fail "user guide: $file"
done
for page in vok-tarnel vokctl vok-meter-sim; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 timeout 60 man --warnings=w -E UTF-8 -l \
      "$root/usr/share/man/man1/$page.1.gz" 2>&1 > /dev/null)
  if [ $? -eq 0 ] && [ -z "$warnings" ]; then pass "man -l $page.1 without warnings"; else fail "man -l $page.1" "$warnings"; fi
done

for program in vok-tarnel vokctl vok-meter-sim; do
  expect "$program --version" 0 "$program (VOK Tarnel V2) $version" env QT_QPA_PLATFORM=offscreen "$bin/$program" --version
done
expect "the installed window starts" 124 "" \
    env QT_QPA_PLATFORM=offscreen HOME="$scratch" XDG_CONFIG_HOME="$scratch/config" timeout 3 "$bin/vok-tarnel"
printf '2021 float 2.75\n42102 ushort 7\n' > "$scratch/good.txt"
printf '0 ushort 1\nhello\n' > "$scratch/bad.txt"
quiet "vokctl check of a valid file" "$bin/vokctl" check "$scratch/good.txt"
expect "vokctl check of a wrong file" 3 "Строка #2, Синтаксическая ошибка." "$bin/vokctl" check "$scratch/bad.txt"

# The settings file: beside the programs while their folder is writable, in
# the user's configuration once it is not. Each file holds a different wrong
# value, so vokctl's message tells which one it read.
mkdir -p "$scratch/config/vok-tarnel"
printf '[Link1]\nPort=/nonexistent\nTimeout=19\n' > "$scratch/config/vok-tarnel/vok-tarnel.ini"
printf '[Link1]\nPort=/nonexistent\nAddress=0\n' > "$bin/vok-tarnel.ini"
expect "vokctl reads the settings beside it" 2 "Неверное значение адреса" \
    "${as_user[@]}" env XDG_CONFIG_HOME="$scratch/config" "$bin/vokctl" poll
chmod a-w "$bin"
expect "vokctl in a read-only folder reads ~/.config" 2 "Неверное значение таймаута" \
    "${as_user[@]}" env XDG_CONFIG_HOME="$scratch/config" "$bin/vokctl" poll
chmod u+w "$bin"

# Bash completion, from the installed file, with the installed vokctl.
completion() {
  env PATH="$bin:$PATH" bash -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMPREPLY=()
    _vokctl; printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/vokctl" "$@"
}
same() {
  local name=$1 want=$2 got
  got=$(cd "$scratch" && completion "${@:3}")
  if [ "$got" = "$want" ]; then pass "completion: $name"; else fail "completion: $name" "want: $want; got: $got"; fi
}
same "commands" $'load\nlog' vokctl l
same "options of a command, then the link's" $'--separator\n--speed\n--stats' vokctl log --s
same "speeds" $'19200\n115200' vokctl --speed 1
same "separator" $',\n\\;' vokctl log --separator ""
same "port names from the port list" "$("$bin/vokctl" ports | cut -f1)" vokctl --port ""
same "files" "good.txt" vokctl --port x verify go
same "no files for write" "" vokctl write ""

echo "package checks: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
