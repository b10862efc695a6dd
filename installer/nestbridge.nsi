; The Windows installer: nestbridge.exe, nestbridge-cli.exe and zipcode.bck in
; Program Files\Nestbridge, a Start-menu shortcut and an entry in the installed programs with its
; uninstaller. The uninstaller removes only what this installed: the settings file (beside the
; programs or in %APPDATA%\Nestbridge) and the accounting data stay.
; makensis -DVERSION=1.0.0 -DSTAGE=<folder with the three files> -DICON=<.ico> -DOUTFILE=<.exe>
Unicode true
; 64-bit like the programs it installs (and Wine without its 32-bit half runs it).
Target amd64-unicode
!include "MUI2.nsh"
!include "x64.nsh"

!define PRODUCT "Nestbridge"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Nestbridge"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Nestbridge"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1042 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1042 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1042 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1042 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1042 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1042 "LegalCopyright" "${PRODUCT}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\nestbridge.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "Korean"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Nestbridge"
  SetOutPath "$INSTDIR"
  File "${STAGE}\nestbridge.exe"
  File "${STAGE}\nestbridge-cli.exe"
  File "${STAGE}\zipcode.bck"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Nestbridge.lnk" "$INSTDIR\nestbridge.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\nestbridge.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; File by file, never the folder's whole contents: a settings file kept beside the programs stays.
  Delete "$INSTDIR\nestbridge.exe"
  Delete "$INSTDIR\nestbridge-cli.exe"
  Delete "$INSTDIR\zipcode.bck"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$SMPROGRAMS\Nestbridge.lnk"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
