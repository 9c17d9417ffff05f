#!/usr/bin/env bash
# Makes the Windows packages out of a Windows build's bin/:
#   make_packages.sh BIN OUT VERSION ICON
# OUT/vok-tarnel-VERSION-win64.zip: a portable copy in a folder of that name,
# the programs, the DLLs they need and nothing more, Qt's platform and style
# plugins, Qt's Russian translation, and an empty INI beside the window
# (settings then stay in that folder);
# OUT/vok-tarnel-VERSION-setup.exe: the installer (packaging/windows/vok-tarnel.nsi).
set -euo pipefail
bin=$(realpath "$1") out=$(realpath -m "$2") version=$3 icon=$(realpath "$4")
here=$(cd "$(dirname "$0")" && pwd)
triple=x86_64-w64-mingw32
# Windows's own DLLs, as Wine carries them, and Windows's API sets
# (api-ms-win-*, which the loader maps to its own DLLs): what a program may
# import without bringing it along.
system_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

name=vok-tarnel-$version-win64
work=$out/work
stage=$work/$name
rm -rf "$work"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
cp "$bin/vok-tarnel.exe" "$bin/vokctl.exe" "$stage/"
cp "$bin/platforms/qwindows.dll" "$stage/platforms/"
cp "$bin/styles/qwindowsvistastyle.dll" "$stage/styles/"
cp "$bin/translations/qtbase_ru.qm" "$stage/translations/"

# The DLLs the programs and plugins import, and the DLLs those import, from
# bin/; anything else must be one of Windows's own.
imports() { "$triple-objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
pending=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  while read -r dll; do
    [ -n "$dll" ] || continue
    [ -f "$stage/$dll" ] && continue
    if [ -f "$bin/$dll" ]; then
      cp "$bin/$dll" "$stage/"
      pending+=("$stage/$dll")
    elif [[ ! -f "$system_dlls/${dll,,}" && ! "${dll,,}" =~ ^(api|ext)-ms-win- ]]; then
      echo "make_packages: $(basename "$file") needs $dll, which is neither in $bin nor one of Windows's own" >&2
      exit 1
    fi
  done < <(imports "$file")
done
find "$stage" -iname '*.exe' -o -iname '*.dll' | xargs "$triple-strip" --strip-unneeded

# The installer takes the files as staged, without the portable INI.
(
  cd "$stage"
  echo "; The files of the package, made by make_packages.sh."
  echo "!macro InstallFiles"
  find . -type d | sort | while read -r dir; do
    files=$(find "$dir" -maxdepth 1 -type f | sort)
    [ -n "$files" ] || continue
    echo "  SetOutPath \"\$INSTDIR${dir#.}\""
    while read -r file; do echo "  File \"$stage/${file#./}\""; done <<< "$files"
  done | sed 's|\(SetOutPath "[^"]*\)/|\1\\|g'
  echo "!macroend"
  echo "!macro RemoveFiles"
  find . -type f | sort | while read -r file; do echo "  Delete \"\$INSTDIR\\${file#./}\""; done | tr '/' '\\'
  find . -mindepth 1 -type d | sort -r | while read -r dir; do echo "  RMDir \"\$INSTDIR\\${dir#./}\""; done | tr '/' '\\'
  echo "  RMDir \"\$INSTDIR\""
  echo "!macroend"
) > "$work/files.nsh"

setup=$out/vok-tarnel-$version-setup.exe
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$work/files.nsh" -DICON="$icon" \
  -DOUTFILE="$setup" "$here/vok-tarnel.nsi"

: > "$stage/vok-tarnel.ini"
zip=$out/$name.zip
rm -f "$zip"
(cd "$work" && zip -q -r -X "$zip" "$name")
echo "$zip"
echo "$setup"
