#!/usr/bin/env bash
# The Windows packages under Wine, on the X display in DISPLAY:
#   packages_wine_test.sh WINE_RUN PREFIX SETUP.exe PORTABLE.zip
# The installer installs silently (/S) into the folder given with /D, with
# its Start menu entry and its entry in "Apps"; the installed window has its
# icon and a per-monitor DPI-aware manifest, and it starts;
# the silent uninstaller takes the files, the entry and the menu item away.
# The portable zip holds the programs, Qt's plugins and translation and an
# empty INI, and its window starts from its folder.
set -uo pipefail
wine_run=$1 prefix=$2 setup=$3 zip=$4
scratch=$(mktemp -d)
failures=0
window_pid=
cleanup() {
  [ -z "$window_pid" ] || { kill "$window_pid" 2> /dev/null; wait "$window_pid" 2> /dev/null || true; }
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
wine() { "$wine_run" "$prefix" "$@"; }
# The main window mapped on the display (the tool's dialogs exist unmapped
# from the start).
window_shown() {
  local id
  id=$(xwininfo -root -tree 2> /dev/null | awk '/"VOK Tarnel V2": / { print $1; exit }')
  [ -n "$id" ] && xwininfo -id "$id" 2> /dev/null | grep -q "Map State: IsViewable"
}

# PROGRAM (a Windows path) shows its window within a minute; it is ended
# after, and its window goes.
expect_window_starts() {
  local program=$1 what=$2
  window_shown && { fail "$what: a window of the tool is up before it starts"; return; }
  # Not through wine(): the process to end is Wine's own, which wine-run
  # becomes.
  "$wine_run" "$prefix" "$program" > "$scratch/window.log" 2>&1 &
  window_pid=$!
  local shown=
  for _ in $(seq 600); do
    if window_shown; then shown=1; break; fi
    kill -0 "$window_pid" 2> /dev/null || break
    sleep 0.1
  done
  [ -n "$shown" ] || fail "$what: no window came up; $(cat "$scratch/window.log")"
  kill "$window_pid" 2> /dev/null
  wait "$window_pid" 2> /dev/null
  window_pid=
  for _ in $(seq 100); do window_shown || break; sleep 0.1; done
}

# Silent install into a folder of our choice. (/D takes the rest of the
# command line unquoted, and Wine quotes an argument with a space: the
# folder has none.)
folder='C:\VokTarnelTest\Tarnel'
unix_folder=$prefix/drive_c/VokTarnelTest/Tarnel
shortcut="$prefix/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VOK Tarnel V2.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VOK Tarnel'
# Nothing of an earlier run in this prefix counts.
rm -rf "$prefix/drive_c/VokTarnelTest" "$shortcut"
wine reg delete "$uninstall_key" /f > /dev/null 2>&1
wine "$setup" /S "/D=$folder" > "$scratch/setup.log" 2>&1
status=$?
[ "$status" -eq 0 ] || fail "setup /S: status $status; $(cat "$scratch/setup.log")"
for file in vok-tarnel.exe vokctl.exe uninstall.exe Qt6Core.dll Qt6Widgets.dll \
            platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ru.qm; do
  [ -f "$unix_folder/$file" ] || fail "setup: no $file in $unix_folder"
done
[ -f "$shortcut" ] || fail "setup: no Start menu entry"
wine reg query "$uninstall_key" > "$scratch/key" 2>&1 || fail "setup: no entry in Apps"
grep -q "DisplayName.*VOK Tarnel V2" "$scratch/key" || fail "setup: the entry has no name: $(cat "$scratch/key")"
grep -qF "UninstallString" "$scratch/key" || fail "setup: the entry has no uninstaller"

# The window's icon under the name Qt gives its windows, and a manifest
# that makes it sharp on every monitor.
window_exe="$unix_folder/vok-tarnel.exe"
wrestool -l --type=14 --name=IDI_ICON1 "$window_exe" 2> /dev/null | grep -q group_icon || fail "no icon IDI_ICON1 in the window"
wrestool -x --raw --type=24 "$window_exe" 2> /dev/null | grep -q "<dpiAwareness[^>]*>PerMonitorV2" \
  || fail "the window's manifest is not per-monitor DPI aware"

expect_window_starts "$folder\\vok-tarnel.exe" "the installed window"

# The uninstaller returns before it is done: its copy in the temporary
# folder removes the files.
wine "$folder\\uninstall.exe" /S > "$scratch/uninstall.log" 2>&1 || fail "uninstall /S: $(cat "$scratch/uninstall.log")"
for _ in $(seq 600); do [ -e "$unix_folder" ] || break; sleep 0.1; done
[ ! -e "$unix_folder" ] || fail "uninstall: left behind: $(cd "$unix_folder" && find . | head)"
[ ! -e "$shortcut" ] || fail "uninstall: the Start menu entry stays"
wine reg query "$uninstall_key" > /dev/null 2>&1 && fail "uninstall: the entry in Apps stays"

# The portable copy.
unpacked=$prefix/drive_c/VokTarnelZip
rm -rf "$unpacked"
mkdir -p "$unpacked"
unzip -q "$zip" -d "$unpacked" || fail "the zip does not unpack"
name=$(basename "$zip" .zip)
portable=$unpacked/$name
for file in vok-tarnel.exe vokctl.exe Qt6Gui.dll platforms/qwindows.dll styles/qwindowsvistastyle.dll \
            translations/qtbase_ru.qm; do
  [ -f "$portable/$file" ] || fail "zip: no $file"
done
[ -f "$portable/vok-tarnel.ini" ] && [ ! -s "$portable/vok-tarnel.ini" ] || fail "zip: no empty vok-tarnel.ini"
extra=$(cd "$portable" && find . -type f ! -iname '*.dll' ! -iname '*.exe' ! -name '*.qm' ! -name vok-tarnel.ini)
[ -z "$extra" ] || fail "zip: files that are not needed: $extra"
tests=$(cd "$portable" && find . -iname '*test*')
[ -z "$tests" ] || fail "zip: test programs: $tests"
expect_window_starts "C:\\VokTarnelZip\\$name\\vok-tarnel.exe" "the portable window"
rm -rf "$unpacked" "$prefix/drive_c/VokTarnelTest"

[ "$failures" -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "the packages install, start and uninstall"
