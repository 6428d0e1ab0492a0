; The per-user setup of Varnalis: install, upgrade over a running copy, uninstall.
; Built by CMake: makensis -DVERSION=1.4.n -DPROGRAM=varnalis.exe -DCLI=varnalis-cli.exe
;   -DICON=normal.ico -DWIZARD_BMP=setup.bmp -DRESOURCE_H=resource.h -DOUTFILE=setup.exe varnalis.nsi
;
; Switches (all work with /S, silent, for deployment tools):
;   setup:     /S  /AUTORUN=yes|no  /D=folder (last)
;   uninstall: /S  /REMOVESETTINGS  _?=folder (last; waits until done, see below)
; Exit codes: 0 done, 1 cancelled by the user, 2 failed (a running copy did not
; close, a file was in use, a wrong switch).

Unicode true
Target amd64-unicode
ManifestDPIAware true
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include Sections.nsh

!define PRODUCT "Varnalis 1.4"
!define COMPANY "Pellard Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define SETTINGS_KEY "Software\${COMPANY}\${PRODUCT}"
!define SHORTCUT "$SMPROGRAMS\${PRODUCT}.lnk"
; The program's shutdown waits up to a minute for its monitor thread.
!define EXIT_WAIT_MS 70000
!define SYNCHRONIZE 0x00100000
!searchparse /file "${RESOURCE_H}" "#define ID_TRAY_EXIT " ID_TRAY_EXIT

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Varnalis"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${COMPANY}"
ShowInstDetails show
ShowUninstDetails show

Var WasRunning

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${WIZARD_BMP}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!define MUI_WELCOMEPAGE_TITLE "Install Varnalis ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Setup installs Varnalis ${VERSION} for you alone; it needs no administrator rights.$\r$\n$\r$\nIf Varnalis is running, Setup closes it, replaces it and starts the new version again. Your settings and log are kept.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs Varnalis in this folder. To choose another, click Browse."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Varnalis ${VERSION} is installed"
!define MUI_FINISHPAGE_TEXT "Varnalis lives in the notification area. Open it from there, or from the Start menu: ${PRODUCT}."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start Varnalis now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishShow
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_PAGE_HEADER_TEXT "Remove Varnalis"
!define MUI_PAGE_HEADER_SUBTEXT "Choose what to remove."
!define MUI_COMPONENTSPAGE_TEXT_TOP "Varnalis, its Start menu shortcut and its start at sign-in are removed. Your settings and log stay, for a later install, unless you tick the box below."
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.ComponentsShow
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "Varnalis"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "${COMPANY}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "Varnalis ${VERSION} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${VERSION}"

; Ends the setup with exit code 2, telling the user why unless silent. A copy
; closed for nothing is started again.
!macro Fail message
  SetErrorLevel 2
  ${If} $WasRunning = 1
  ${AndIf} ${FileExists} "$INSTDIR\varnalis.exe"
    Exec '"$INSTDIR\varnalis.exe"'
  ${EndIf}
  MessageBox MB_OK|MB_ICONSTOP "${message}" /SD IDOK
  Quit
!macroend

; Asks a running copy to exit as its tray menu's Exit does, and waits until
; its process has ended: only then are its files free and its settings saved.
!macro StopRunningCopyFunction un
Function ${un}StopRunningCopy
  StrCpy $WasRunning 0
  retry:
  FindWindow $0 "Static" "Vrnwnd"
  ${If} $0 = 0
    Return
  ${EndIf}
  StrCpy $WasRunning 1
  DetailPrint "Closing the running Varnalis..."
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r1)'
  System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
  System::Call 'user32::PostMessageW(p r0, i ${WM_COMMAND}, p ${ID_TRAY_EXIT}, p 0)'
  StrCpy $3 0
  ${If} $2 != 0
    System::Call 'kernel32::WaitForSingleObject(p r2, i ${EXIT_WAIT_MS}) i .r3'
    System::Call 'kernel32::CloseHandle(p r2)'
  ${Else}
    ; No access to the process: its window going is the best sign there is.
    StrCpy $4 0
    ${Do}
      Sleep 250
      IntOp $4 $4 + 250
      FindWindow $0 "Static" "Vrnwnd"
      ${If} $0 = 0
      ${OrIf} $4 >= ${EXIT_WAIT_MS}
        ${ExitDo}
      ${EndIf}
    ${Loop}
    ${If} $0 <> 0
      StrCpy $3 1
    ${EndIf}
  ${EndIf}
  ${If} $3 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Varnalis did not close. Close it with Exit on its notification area icon's menu, then click Retry." /SD IDCANCEL IDRETRY retry
    !insertmacro Fail "Varnalis is still running, so nothing was changed. Close it and run this again."
  ${EndIf}
FunctionEnd
!macroend
!insertmacro StopRunningCopyFunction ""
!insertmacro StopRunningCopyFunction "un."

; Fails when a program file is in use (a console monitor still running), so
; that nothing is half replaced or half removed.
!macro CheckFree name
  ${If} ${FileExists} "$INSTDIR\${name}"
    ClearErrors
    FileOpen $0 "$INSTDIR\${name}" a
    ${If} ${Errors}
      !insertmacro Fail "$INSTDIR\${name} is in use (is varnalis-cli still running?). Close it and run this again."
    ${EndIf}
    FileClose $0
  ${EndIf}
!macroend

!macro RemoveProgramFiles
  !insertmacro CheckFree "varnalis.exe"
  !insertmacro CheckFree "varnalis-cli.exe"
  Delete "$INSTDIR\varnalis.exe"
  Delete "$INSTDIR\varnalis-cli.exe"
  ${If} ${FileExists} "$INSTDIR\varnalis.exe"
  ${OrIf} ${FileExists} "$INSTDIR\varnalis-cli.exe"
    !insertmacro Fail "The program files in $INSTDIR could not be removed. Close Varnalis and run this again."
  ${EndIf}
!macroend

Section "Varnalis" SecProgram
  SectionIn RO
  SetOutPath "$INSTDIR"
  Call StopRunningCopy
  !insertmacro RemoveProgramFiles
  File "/oname=varnalis.exe" "${PROGRAM}"
  File "/oname=varnalis-cli.exe" "${CLI}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "${SHORTCUT}" "$INSTDIR\varnalis.exe" "" "$INSTDIR\varnalis.exe" 0 SW_SHOWNORMAL "" \
    "Watches the health of this computer or a remote one"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${COMPANY}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\varnalis.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S _?=$INSTDIR'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The same value the Options page's "Open Varnalis on startup." writes.
Section "Start Varnalis when I sign in" SecAutorun
  WriteRegStr HKCU "${RUN_KEY}" "${PRODUCT}" '"$INSTDIR\varnalis.exe" autorun'
SectionEnd

Section "-Finish"
  ${IfNot} ${SectionIsSelected} ${SecAutorun}
    DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
  ${If} $WasRunning = 1
    DetailPrint "Starting Varnalis again..."
    Exec '"$INSTDIR\varnalis.exe"'
  ${EndIf}
SectionEnd

Function .onInit
  ; An upgrade keeps the sign-in choice made on the Options page.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "UninstallString"
  ReadRegStr $1 HKCU "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 != ""
  ${AndIf} $1 == ""
    !insertmacro UnselectSection ${SecAutorun}
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTORUN=" $R1
  ${IfNot} ${Errors}
    ${If} $R1 == "yes"
      !insertmacro SelectSection ${SecAutorun}
    ${ElseIf} $R1 == "no"
      !insertmacro UnselectSection ${SecAutorun}
    ${Else}
      !insertmacro Fail "/AUTORUN= takes yes or no."
    ${EndIf}
  ${EndIf}
FunctionEnd

Function StartProgram
  FindWindow $0 "Static" "Vrnwnd"
  ${If} $0 = 0
    Exec '"$INSTDIR\varnalis.exe"'
  ${EndIf}
FunctionEnd

; After an upgrade the program runs again already.
Function FinishShow
  ${If} $WasRunning = 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
  ${EndIf}
FunctionEnd

Section "un.Varnalis" UnSecProgram
  SectionIn RO
  SetOutPath $TEMP  ; a working folder in the program's would keep it
  Call un.StopRunningCopy
  !insertmacro RemoveProgramFiles
  Delete "${SHORTCUT}"
  DeleteRegValue HKCU "${RUN_KEY}" "${PRODUCT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Also remove my settings and log" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "Software\${COMPANY}"
  Delete "$INSTDIR\log.txt"
  RMDir "$INSTDIR"
SectionEnd

; Windows runs an uninstaller from a copy in the temporary folder and returns
; at once. Run in place (with _?=folder, as QuietUninstallString does) it makes
; that copy itself and waits for it, so a deployment tool gets the real exit
; code. The copy cannot remove the file its starter runs from: a second run of
; the copy does, once the starter has ended.
Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/CLEANUP=" $R1
  ${IfNot} ${Errors}
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i $R1) p .r0'
    ${If} $0 != 0
      System::Call 'kernel32::WaitForSingleObject(p r0, i 30000) i .r1'
      System::Call 'kernel32::CloseHandle(p r0)'
    ${EndIf}
    SetOutPath $TEMP
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    Quit
  ${EndIf}
  ${If} $EXEDIR == $INSTDIR
    GetTempFileName $0
    Delete $0
    CreateDirectory $0
    CopyFiles /SILENT "$EXEPATH" "$0\uninstall.exe"
    SetOutPath $0  ; its working folder: not the one to remove
    ClearErrors
    ExecWait '"$0\uninstall.exe" $R0 _?=$INSTDIR' $2
    ${If} ${Errors}
      StrCpy $2 2
    ${EndIf}
    ${If} $2 = 0
      System::Call 'kernel32::GetCurrentProcessId() i .r3'
      Exec '"$0\uninstall.exe" /S /CLEANUP=$3 _?=$INSTDIR'
    ${EndIf}
    SetErrorLevel $2
    Quit
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecSettings}
  ${EndIf}
FunctionEnd

; Removing needs no space.
Function un.ComponentsShow
  ShowWindow $mui.ComponentsPage.SpaceRequired ${SW_HIDE}
FunctionEnd
