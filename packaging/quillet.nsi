; Quillet's installer. Built by scripts/package.sh, which passes:
;   VERSION  the product version (four numbers)
;   ARCH     x86 (the deliverable) or x64 (the same installer for the 64-bit
;            build, made so the installer is tested on hosts without 32-bit Wine)
;   STAGE    the folder holding quillet.exe, YRWXls.ocx and CellWeb5.ocx
;   OUTFILE  the setup program to write
;   SIGN     optional: a command that signs the file named by its last
;            argument in place; the uninstaller is signed with it as it is made
Unicode true
ManifestSupportedOS all
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef VERSION | ARCH | STAGE | OUTFILE
  !error "VERSION, ARCH, STAGE and OUTFILE must be defined"
!endif

!define PRODUCT "Quillet"
!define PUBLISHER "Quillet"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillet"
!define YRWXLS_CLSID "{3F166327-8030-4881-8BD2-EA25350E574A}"
!define CELLWEB5_CLSID "{6A1E4F0B-52C7-4D3A-9B1E-7C0D2E5F8A41}"

!if "${ARCH}" == "x64"
  Target amd64-unicode
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  Target x86-unicode
  InstallDir "$PROGRAMFILES\${PRODUCT}"
!endif
; An installed copy is upgraded where it is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"

!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"'
!endif

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=0 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "${PRODUCT} setup"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "LegalCopyright" "Copyright (C) 2026 Quillet"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillet.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

; The first language is the one shown where the system's is neither.
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString StillRunning ${LANG_SIMPCHINESE} "Quillet 正在运行。请先关闭它，然后点击“重试”。"
LangString StillRunning ${LANG_ENGLISH} "Quillet is running. Close it, then click Retry."
LangString ShortcutDescription ${LANG_SIMPCHINESE} "一键修复网上申报客户端的浏览器设置"
LangString ShortcutDescription ${LANG_ENGLISH} "One-click repair of the online filing client's browser settings"

; A running quillet.exe cannot be replaced or removed: every window of the
; program is of the class "QuilletForm". Silently there is nobody to close
; it, so the run ends with an error instead of leaving a mixed installation.
!macro WaitUntilNotRunning
  ${Do}
    FindWindow $0 "QuilletForm"
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(StillRunning)" /SD IDCANCEL IDRETRY +2
    Abort
  ${Loop}
!macroend

Function .onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
  !insertmacro WaitUntilNotRunning
FunctionEnd

Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
  !insertmacro WaitUntilNotRunning
FunctionEnd

Section "Quillet" SecMain
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "${STAGE}\quillet.exe"
  File "${STAGE}\YRWXls.ocx"
  File "${STAGE}\CellWeb5.ocx"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortCut "$SMPROGRAMS\Quillet.lnk" "$INSTDIR\quillet.exe" "" "$INSTDIR\quillet.exe" 0 \
                 SW_SHOWNORMAL "" "$(ShortcutDescription)"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\quillet.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/M=*.* /S=0K /G=0" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; The repair registers the two controls from the program's folder. Their
; registration goes with them, but only where it still names this folder's
; file: another copy registered since is not ours to remove.
!macro UnregisterOwnControl CLSID FILE
  ReadRegStr $0 HKCR "CLSID\${CLSID}\InprocServer32" ""
  ${If} $0 == "$INSTDIR\${FILE}"
    ExecWait '"$SYSDIR\regsvr32.exe" /u /s "$INSTDIR\${FILE}"'
  ${EndIf}
!macroend

Section "Uninstall"
  SetShellVarContext all
  !insertmacro UnregisterOwnControl "${YRWXLS_CLSID}" "YRWXls.ocx"
  !insertmacro UnregisterOwnControl "${CELLWEB5_CLSID}" "CellWeb5.ocx"
  ; Only what the installer put here: report files, logs and settings the
  ; user keeps beside the program stay, and so does the folder then.
  Delete "$INSTDIR\quillet.exe"
  Delete "$INSTDIR\YRWXls.ocx"
  Delete "$INSTDIR\CellWeb5.ocx"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\Quillet.lnk"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
