; KbPanel setup, one script for both builds.
; makensis -DARCH=amd64|x86 -DVERSION=1.0.0 -DBIN=<folder with the programs>
;          -DOUTFILE=<setup.exe> KbPanel.nsi
; BIN holds KbPanel.exe, KinsetDll.dll, Multact.dll, Skins\ and Help\.
; The keyboard's driver, its HID library and our simulator are never shipped.

Unicode true
!ifndef ARCH | VERSION | BIN | OUTFILE
  !error "ARCH, VERSION, BIN and OUTFILE are required"
!endif
Target ${ARCH}-unicode
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh

!define PRODUCT "KbPanel"
!define PUBLISHER "KbPanel"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\KbPanel"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; The program's own settings (profile list, options); profiles are files the user keeps.
!define SETTINGS_KEY "Software\Plexor3_QM2000RB"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
!if ${ARCH} == amd64
  InstallDir "$PROGRAMFILES64\${PRODUCT}"
!else
  InstallDir "$PROGRAMFILES32\${PRODUCT}"
!endif
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\KbPanel.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"
!insertmacro MUI_LANGUAGE "English"

LangString SEC_MAIN ${LANG_SIMPCHINESE} "KbPanel 键盘设定"
LangString SEC_MAIN ${LANG_ENGLISH} "KbPanel keyboard settings"
LangString SEC_START ${LANG_SIMPCHINESE} "Windows 启动时运行"
LangString SEC_START ${LANG_ENGLISH} "Start with Windows"
LangString ASK_SETTINGS ${LANG_SIMPCHINESE} "是否同时删除 KbPanel 的设置(配置文件列表与选项)?$\r$\n配置文件(.px3)会保留。"
LangString ASK_SETTINGS ${LANG_ENGLISH} "Also remove KbPanel's settings (profile list and options)?$\r$\nProfile files (.px3) are kept."
LangString FILES_BUSY ${LANG_SIMPCHINESE} "KbPanel 仍在运行,无法替换其文件。请退出后重试。"
LangString FILES_BUSY ${LANG_ENGLISH} "KbPanel is still running and its files cannot be replaced. Exit it and try again."

; Asks a running KbPanel in DIR to exit through its own /Kill and waits until
; its program file can be written, so no file is replaced under a live process.
!macro StopRunning DIR
  ${If} ${FileExists} "${DIR}\KbPanel.exe"
    ExecWait '"${DIR}\KbPanel.exe" /Kill'
    StrCpy $1 0
    ${Do}
      ClearErrors
      FileOpen $0 "${DIR}\KbPanel.exe" a
      ${IfNot} ${Errors}
        FileClose $0
        ${Break}
      ${EndIf}
      IntOp $1 $1 + 1
      ${If} $1 >= 50
        ${Break}
      ${EndIf}
      Sleep 100
    ${Loop}
  ${EndIf}
!macroend

Function .onInit
!if ${ARCH} == amd64
  SetRegView 64
  ${IfNot} ${RunningX64}
    Abort
  ${EndIf}
!endif
FunctionEnd

Function un.onInit
!if ${ARCH} == amd64
  SetRegView 64
!endif
FunctionEnd

Section "!$(SEC_MAIN)" SecMain
  SectionIn RO
  !insertmacro StopRunning "$INSTDIR"
  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "${BIN}\KbPanel.exe"
  File "${BIN}\KinsetDll.dll"
  File "${BIN}\Multact.dll"
  ${If} ${Errors}
    MessageBox MB_OK|MB_ICONSTOP "$(FILES_BUSY)" /SD IDOK
    Abort
  ${EndIf}
  ; Skin and help are ours entirely: replace them whole so no stale picture survives.
  RMDir /r "$INSTDIR\Skins"
  RMDir /r "$INSTDIR\Help"
  SetOutPath "$INSTDIR\Skins"
  File /r "${BIN}\Skins\*.*"
  SetOutPath "$INSTDIR\Help"
  File /r "${BIN}\Help\*.*"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\KbPanel.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\Uninstall.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\KbPanel.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
SectionEnd

; Per-user: the program keeps its settings per user too.
Section /o "$(SEC_START)" SecStart
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\KbPanel.exe"'
SectionEnd

Section "Uninstall"
  !insertmacro StopRunning "$INSTDIR"
  Delete "$INSTDIR\KbPanel.exe"
  Delete "$INSTDIR\KinsetDll.dll"
  Delete "$INSTDIR\Multact.dll"
  RMDir /r "$INSTDIR\Skins"
  RMDir /r "$INSTDIR\Help"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only an empty folder goes: anything the user put there stays.
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ; Silent uninstall (upgrades, scripts) keeps the settings; asked otherwise.
  MessageBox MB_YESNO|MB_ICONQUESTION "$(ASK_SETTINGS)" /SD IDNO IDNO keep
    DeleteRegKey HKCU "${SETTINGS_KEY}"
  keep:
SectionEnd
