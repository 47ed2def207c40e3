; Snapora's installer, built by scripts/package.sh with Debian's makensis:
;   makensis -DVERSION=4.2 -DEXE=path/to/snapora.exe -DOUTFILE=... snapora.nsi
;
; Installs for the current user without administrator rights into
; %LOCALAPPDATA%\Programs\Snapora, adds a Start-menu entry and an entry in
; "Apps & features". Silent: /S. /SERVICE=https://host[:port] stores the web
; service's address as the registry value ServiceURL for this user.
; The uninstaller removes the program, its Start-menu entry and the start-up
; shortcut the program may have made, and asks before deleting the settings
; (a silent uninstall keeps them).

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true
ManifestSupportedOS all

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "LogicLib.nsh"

!define PRODUCT "Snapora"
!define SETTINGS_KEY "Software\Snapora"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Snapora"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Snapora"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowUninstDetails hide

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1031 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "FileDescription" "Snapora ${VERSION} - Installation"
VIAddVersionKey /LANG=1031 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1031 "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=1031 "LegalCopyright" "Snapora"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\snapora.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Snapora jetzt starten"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "German"

Var Service
Var RemoveSettings

Function .onInit
  ; Not GetOptions: it would end the value at the first "/" of "https://".
  ${GetParameters} $0
  StrCpy $Service ""
  ClearErrors
  ${WordFind} "$0" "/SERVICE=" "E+1}" $1
  ${IfNot} ${Errors}
    ${WordFind} "$1" " " "+1{" $Service
  ${EndIf}
  ${If} $Service != ""
    StrCpy $1 $Service 8
    StrCpy $2 $Service 7
    ${If} $1 != "https://"
    ${AndIf} $2 != "http://"
      MessageBox MB_OK|MB_ICONSTOP "/SERVICE erwartet eine Adresse wie https://server.example.org" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Snapora" Main
  SectionIn RO
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File "/oname=snapora.exe" "${EXE}"
  File "/oname=LIESMICH.txt" "${README}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Snapora.lnk" "$INSTDIR\snapora.exe" "" "$INSTDIR\snapora.exe" 0 \
    SW_SHOWNORMAL "" "Bildschirmfotos aufnehmen und teilen"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\snapora.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; Only when asked: the settings key's existence is the program's
  ; "Einstellungen speichern" switch.
  ${If} $Service != ""
    WriteRegStr HKCU "${SETTINGS_KEY}" "ServiceURL" $Service
  ${EndIf}
SectionEnd

Function un.onInit
  StrCpy $RemoveSettings 0
  MessageBox MB_YESNO|MB_ICONQUESTION \
    "Sollen auch die gespeicherten Einstellungen von Snapora gelöscht werden?" /SD IDNO IDNO keep
  StrCpy $RemoveSettings 1
  keep:
FunctionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$INSTDIR\snapora.exe"
  Delete "$INSTDIR\LIESMICH.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Snapora.lnk"
  ; The program's own start-up shortcut (tray icon option), named after the exe.
  Delete "$SMSTARTUP\snapora.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${If} $RemoveSettings == 1
    DeleteRegKey HKCU "${SETTINGS_KEY}"
  ${EndIf}
SectionEnd
