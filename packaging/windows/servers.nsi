; Quorlane servers installer for Windows: the site server and (optional) the
; update server, each as a Windows service, 64-bit builds.
;
;   makensis -DDIST=<dist folder> -DOUTFILE=<setup.exe> servers.nsi
;
; The binaries come from DIST\x64\ (64-bit: Windows Server has been 64-bit
; only since 2008 R2), and so does the installer (amd64-unicode), which lets
; the tests run it under 64-bit Wine on every build host.
;
; Each service keeps its configuration and data in ProgramData\Quorlane\...,
; where its default configuration is written only when none exists; the
; uninstaller removes the services and the programs and keeps that data.
;
; Silent:  QuorlaneServersSetup.exe /S [/SITESERVER=0] [/UPDATESERVER=1] [/D=C:\Path]
;          "<folder>\Uninstall.exe" /S
Unicode true
Target amd64-unicode
!ifndef DIST
  !error "-DDIST=<dist folder> is required"
!endif
!ifndef OUTFILE
  !define OUTFILE QuorlaneServersSetup.exe
!endif
!ifndef VERSION
  !define VERSION 1.0.0
!endif

!define PRODUCT "Quorlane Servers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorlaneServers"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quorlane Servers"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestSupportedOS all
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Quorlane"

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Runs a program of ours, logs its output and fails the step on an error.
!macro RunChecked command what
  nsExec::ExecToLog '${command}'
  Pop $0
  ${If} $0 != 0
    DetailPrint "${what} failed ($0)"
    SetErrors
  ${EndIf}
!macroend

Section "-common"
  SetOutPath "$INSTDIR"
  File "${DIST}\x64\server\windows\quorlane-probe.exe"
  File "${DIST}\x64\tools\windows\quorlane-taxkey.exe"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorlane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Site server (service QuorlaneServer)" SecSite
  SetOutPath "$INSTDIR"
  ; An update replaces a running program: stop it first (a fresh install
  ; has nothing to stop).
  nsExec::ExecToLog '"$SYSDIR\net.exe" stop QuorlaneServer'
  Pop $0
  File "${DIST}\x64\server\windows\quorlane-server.exe"
  File "/oname=server-README.md" "${DIST}\server\README.md"
  File "/oname=quorlane-server.ini.example" "${DIST}\server\quorlane-server.ini"
  !insertmacro RunChecked '"$INSTDIR\quorlane-server.exe" service install' "Installing the site server service"
  !insertmacro RunChecked '"$SYSDIR\net.exe" start QuorlaneServer' "Starting the site server"
SectionEnd

Section /o "Update server (service QuorlaneUpdateServer, port 9568)" SecUpdate
  SetOutPath "$INSTDIR"
  nsExec::ExecToLog '"$SYSDIR\net.exe" stop QuorlaneUpdateServer'
  Pop $0
  File "${DIST}\x64\update-server\windows\quorlane-update-server.exe"
  File "/oname=update-server-README.md" "${DIST}\update-server\README.md"
  File "${DIST}\update-server\update-map.example"
  !insertmacro RunChecked '"$INSTDIR\quorlane-update-server.exe" service install' "Installing the update server service"
  !insertmacro RunChecked '"$SYSDIR\net.exe" start QuorlaneUpdateServer' "Starting the update server"
SectionEnd

Section "-size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

LangString DESC_Site ${LANG_ENGLISH} "Locks, files, services, VAT list and taxation key for this site's workstations. Configuration: ProgramData\Quorlane\Server\quorlane-server.ini."
LangString DESC_Update ${LANG_ENGLISH} "The vendor's self-update look-up (TCP 9568). Mapping: ProgramData\Quorlane\UpdateServer\update-map.txt."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecSite} $(DESC_Site)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecUpdate} $(DESC_Update)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

!macro OptionSelects option section
  ClearErrors
  ${GetOptions} $0 "${option}" $1
  ${IfNot} ${Errors}
    ${If} $1 == "1"
      SectionSetFlags ${section} ${SF_SELECTED}
    ${Else}
      SectionSetFlags ${section} 0
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
  SetRegView 64
  ${GetParameters} $0
  !insertmacro OptionSelects "/SITESERVER=" ${SecSite}
  !insertmacro OptionSelects "/UPDATESERVER=" ${SecUpdate}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  ; Stops and removes each service; the data in ProgramData\Quorlane stays.
  ${If} ${FileExists} "$INSTDIR\quorlane-server.exe"
    nsExec::ExecToLog '"$INSTDIR\quorlane-server.exe" service uninstall'
    Pop $0
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\quorlane-update-server.exe"
    nsExec::ExecToLog '"$INSTDIR\quorlane-update-server.exe" service uninstall'
    Pop $0
  ${EndIf}
  Delete "$INSTDIR\quorlane-server.exe"
  Delete "$INSTDIR\server-README.md"
  Delete "$INSTDIR\quorlane-server.ini.example"
  Delete "$INSTDIR\quorlane-update-server.exe"
  Delete "$INSTDIR\update-server-README.md"
  Delete "$INSTDIR\update-map.example"
  Delete "$INSTDIR\quorlane-probe.exe"
  Delete "$INSTDIR\quorlane-taxkey.exe"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
