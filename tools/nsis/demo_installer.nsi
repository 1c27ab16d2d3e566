; A real, silent NSIS installer for demos and the end-to-end install test.
; It installs one small file into %TEMP%\PakvaneDemo and registers itself for
; the current user only, so it needs no elevation.
;
;   makensis -DOUTFILE=<path>\pakvane_demo_setup.exe demo_installer.nsi
;
; The demo catalog's installers are the same script with other names: DEFINES
; names a UTF-8 file (with BOM, so Chinese names survive) that defines APP_NAME,
; APP_VERSION, APP_KEY (the Uninstall subkey) and INSTALL_DIR, and PAYLOAD a
; data file to install as well, which gives the package a realistic size.
; tools/demo_catalog/demo_packages.py writes both.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef OUTFILE
  !define OUTFILE "pakvane_demo_setup.exe"
!endif

!ifdef DEFINES
  !include "${DEFINES}"
!endif
!ifndef APP_NAME
  !define APP_NAME "Pakvane Demo App"
!endif
!ifndef APP_VERSION
  !define APP_VERSION "1.0.0"
!endif
!ifndef APP_KEY
  !define APP_KEY "PakvaneDemoApp"
!endif
!ifndef INSTALL_DIR
  !define INSTALL_DIR "$TEMP\PakvaneDemo"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP_KEY}"

Name "${APP_NAME}"
OutFile "${OUTFILE}"
InstallDir "${INSTALL_DIR}"
RequestExecutionLevel user
SilentInstall silent
SilentUnInstall silent
ShowInstDetails nevershow

Section "Install"
  SetOutPath "$INSTDIR"
  FileOpen $0 "$INSTDIR\readme.txt" w
  FileWrite $0 "${APP_NAME} ${APP_VERSION}$\r$\n"
  FileClose $0
!ifdef PAYLOAD
  File "/oname=app-data.bin" "${PAYLOAD}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${APP_VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Pakvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SetErrorLevel 0
SectionEnd

Section "Uninstall"
  Delete "$INSTDIR\readme.txt"
  Delete "$INSTDIR\app-data.bin"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
