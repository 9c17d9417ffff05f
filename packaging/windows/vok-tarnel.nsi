; The installer of VOK Tarnel V2 for 64-bit Windows, in Russian: the programs
; into Program Files, the window in the Start menu, an uninstaller listed in
; "Apps". /S installs without asking, /D=FOLDER (last) sets the folder.
; makensis -DVERSION=2.0 -DFILES=files.nsh -DICON=vok-tarnel.ico -DOUTFILE=setup.exe vok-tarnel.nsi
; files.nsh (made by make_packages.sh) lists the files to install and remove.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "${FILES}"

!define PRODUCT "VOK Tarnel V2"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VOK Tarnel"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\VOK Tarnel"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel admin
ShowInstDetails nevershow
ShowUninstDetails nevershow

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\vok-tarnel.exe"

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Russian"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileDescription" "Установка ${PRODUCT}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "CompanyName" "VOK Tarnel"
VIAddVersionKey /LANG=${LANG_RUSSIAN} "LegalCopyright" "VOK Tarnel"

Function .onInit
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section
  SetShellVarContext all
  !insertmacro InstallFiles
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\vok-tarnel.exe" "" "$INSTDIR\vok-tarnel.exe" 0

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\vok-tarnel.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "VOK Tarnel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  Delete "$INSTDIR\uninstall.exe"
  ; The settings the window kept beside itself, where the folder was writable.
  Delete "$INSTDIR\vok-tarnel.ini"
  !insertmacro RemoveFiles
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
