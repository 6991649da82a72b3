; Quorlane workstation installer: Talvora.exe, Quorlane.dll for 32-bit hosts
; and x64\Quorlane.dll for 64-bit hosts, qlcall, and (optional) the host kit.
;
;   makensis -DDIST=<dist folder> -DOUTFILE=<setup.exe> [-DTARGET=x86-unicode]
;            [-DWEBVIEW2_LOADER=<Microsoft's WebView2Loader.dll>] workstation.nsi
;
; TARGET defaults to amd64-unicode: that installer runs on 64-bit Windows
; (and under 64-bit Wine, where the tests run it on every build host);
; x86-unicode gives one for 32-bit Windows too. The installed files are the
; same either way.
;
; Silent mass roll-out:  QuorlaneWorkstationSetup.exe /S [/HOSTKIT=1] [/D=C:\Path]
; Silent removal:        "<folder>\Uninstall.exe" /S
Unicode true
!ifndef TARGET
  !define TARGET amd64-unicode
!endif
Target ${TARGET}
!ifndef DIST
  !error "-DDIST=<dist folder> is required"
!endif
!ifndef OUTFILE
  !define OUTFILE QuorlaneWorkstationSetup.exe
!endif
!ifndef VERSION
  !define VERSION 1.0.0
!endif

!define PRODUCT "Quorlane Workstation"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\QuorlaneWorkstation"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; 32-bit programs: "Program Files (x86)" on 64-bit Windows.
InstallDir "$PROGRAMFILES32\Quorlane"
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

Section "Talvora and Quorlane.dll" SecCore
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${DIST}\Talvora.exe"
  File "${DIST}\Quorlane.dll"
  File "${DIST}\qlcall.exe"
!ifdef WEBVIEW2_LOADER
  File "${WEBVIEW2_LOADER}"
!endif
  SetOutPath "$INSTDIR\x64"
  File "${DIST}\x64\Quorlane.dll"
  File "${DIST}\x64\qlcall.exe"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quorlane"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Talvora.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section /o "Host kit (C/C++, Delphi, .NET declarations)" SecHostKit
  SetOutPath "$INSTDIR\hostkit"
  File "${DIST}\hostkit\quorlane.h"
  File "${DIST}\hostkit\Quorlane.dll.a"
  File "${DIST}\hostkit\Quorlane.pas"
  File "${DIST}\hostkit\Quorlane.cs"
  SetOutPath "$INSTDIR\x64\hostkit"
  File "${DIST}\x64\hostkit\Quorlane.dll.a"
SectionEnd

Section "-size"
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" "$0"
SectionEnd

LangString DESC_Core ${LANG_ENGLISH} "The assistant shell and the library (32-bit, and 64-bit in x64\)."
LangString DESC_HostKit ${LANG_ENGLISH} "Declarations and import libraries for building applications that call Quorlane.dll."
!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecCore} $(DESC_Core)
  !insertmacro MUI_DESCRIPTION_TEXT ${SecHostKit} $(DESC_HostKit)
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
  ; The registry view of the installer's own width; the files go to the
  ; 32-bit Program Files either way.
!if "${TARGET}" == "amd64-unicode"
  SetRegView 64
  ; A 64-bit installer's $PROGRAMFILES32 can read as the 64-bit folder: take
  ; the 32-bit one from the environment unless /D= chose another.
  ReadEnvStr $1 "ProgramFiles(x86)"
  ${If} $1 != ""
  ${AndIf} $INSTDIR == "$PROGRAMFILES32\Quorlane"
    StrCpy $INSTDIR "$1\Quorlane"
  ${EndIf}
!endif
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/HOSTKIT=" $1
  ${IfNot} ${Errors}
    ${If} $1 == "1"
      SectionSetFlags ${SecHostKit} ${SF_SELECTED}
    ${Else}
      SectionSetFlags ${SecHostKit} 0
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
!if "${TARGET}" == "amd64-unicode"
  SetRegView 64
!endif
FunctionEnd

Section "Uninstall"
  ; Only what this installer put there: files others added stay.
  Delete "$INSTDIR\Talvora.exe"
  Delete "$INSTDIR\Quorlane.dll"
  Delete "$INSTDIR\qlcall.exe"
  Delete "$INSTDIR\WebView2Loader.dll"
  Delete "$INSTDIR\x64\Quorlane.dll"
  Delete "$INSTDIR\x64\qlcall.exe"
  Delete "$INSTDIR\hostkit\quorlane.h"
  Delete "$INSTDIR\hostkit\Quorlane.dll.a"
  Delete "$INSTDIR\hostkit\Quorlane.pas"
  Delete "$INSTDIR\hostkit\Quorlane.cs"
  Delete "$INSTDIR\x64\hostkit\Quorlane.dll.a"
  RMDir "$INSTDIR\x64\hostkit"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\hostkit"
  Delete "$INSTDIR\Uninstall.exe"
  ; Quorlane.ini, VAT lists and traces beside the DLL are the site's data.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
