; The Windows installer of a quizhost cabinet, built on Linux by packaging/windows/make-installer:
;   makensis -DVERSION=7.0.0 -DARCH=x64|x86 -DBINDIR=<build>/bin -DCABINET_SOURCE=demo/cabinet
;            -DOUTFILE=<setup.exe> quizhost.nsi
;
; It puts the programs under Program Files, prepares the cabinet folder (default C:\Cabinet) and registers
; the scheduled tasks that start the cabinet. The cabinet folder holds the operator's audit data (meter
; file, high-score table, setup.ini, the log, the question files): the installer only adds what is
; missing there and the uninstaller never goes near it.
;
; Silent use: setup.exe /S [/CABINET=D:\Cabinet] [/USER=cabinet] [/D=C:\Program Files\quizhost]
;             uninstall.exe /S
; Exit status: 0 done; 2 a bad cabinet folder (nothing installed; the reason is in
; %TEMP%\quizhost-setup-error.txt) or the installation stopped; 3 installed, but a start entry could not
; be registered (install.log in the program folder names it).

Unicode true
!macro REQUIRE_DEFINE NAME
  !ifndef ${NAME}
    !error "define ${NAME} (packaging/windows/make-installer defines VERSION, ARCH, BINDIR, CABINET_SOURCE, OUTFILE)"
  !endif
!macroend
!insertmacro REQUIRE_DEFINE VERSION
!insertmacro REQUIRE_DEFINE ARCH
!insertmacro REQUIRE_DEFINE BINDIR
!insertmacro REQUIRE_DEFINE CABINET_SOURCE
!insertmacro REQUIRE_DEFINE OUTFILE

!if "${ARCH}" == "x64"
  Target amd64-unicode
!else if "${ARCH}" == "x86"
  Target x86-unicode
!else
  !error "ARCH is x64 or x86"
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\quizhost"
!define HOST_TASK "quizhost"
!define SERVICE_TASK "quizhost credit service"
!define METERS_TASK "quizhost meters"
; The socket platform's flag file: such a cabinet reaches its credit through the local credit service.
!define SOCKET_FLAG "flg_meridian.dat"
!define CREDIT_PORT 7475

Name "quizhost ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
!if "${ARCH}" == "x64"
  InstallDir "$PROGRAMFILES64\quizhost"
!else
  InstallDir "$PROGRAMFILES32\quizhost"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=1033 "ProductName" "quizhost"
VIAddVersionKey /LANG=1033 "FileDescription" "quizhost cabinet installer (${ARCH})"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "quizhost"

Var Cabinet     ; the cabinet folder, without a trailing backslash
Var TaskUser    ; the account whose logon starts the host ("" = the account running the installer)
Var Log         ; install.log, open while the installer section runs
Var Failed      ; the start entries that could not be registered, one per line

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_NOAUTOCLOSE
!define MUI_UNFINISHPAGE_NOAUTOCLOSE

!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "The programs go here. The cabinet's own files go in the cabinet folder, chosen next."
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_PAGE_HEADER_TEXT "Cabinet folder"
!define MUI_PAGE_HEADER_SUBTEXT "The folder that holds the movies, the questions, the meters and the logs."
!define MUI_DIRECTORYPAGE_TEXT_TOP "quizhost runs the cabinet in this folder. Files already there (meter file, high-score table, setup.ini, log, questions, movies) are kept as they are; the example cabinet only fills in what is missing. The cabinet's user account needs write access to it, so do not choose a folder below Program Files."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Cabinet folder"
!define MUI_DIRECTORYPAGE_VARIABLE $Cabinet
!define MUI_PAGE_CUSTOMFUNCTION_LEAVE CabinetPageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Runs the command line in $R0 without a window, shows its output in the details and writes the line and
; its exit status to the open log. $R1 is the exit status ("error" when it could not be started).
!macro RUN_LOGGED_FUNCTION PREFIX
Function ${PREFIX}RunLogged
  FileWrite $Log "run: $R0$\r$\n"
  DetailPrint "run: $R0"
  nsExec::ExecToLog $R0
  Pop $R1
  FileWrite $Log "exit: $R1$\r$\n"
FunctionEnd
!macroend
!insertmacro RUN_LOGGED_FUNCTION ""
!insertmacro RUN_LOGGED_FUNCTION "un."

!macro SELECT_REGISTRY_VIEW
  !if "${ARCH}" == "x64"
    SetRegView 64
  !endif
!macroend

; Sets $R0 to a reason when $Cabinet is the folder $R2 or below it.
Function CabinetBelowR2
  Push $R1
  StrCpy $R1 ""
  ${If} $Cabinet == $R2
    StrCpy $R1 "same"
  ${Else}
    StrLen $R1 "$R2\"
    StrCpy $R1 $Cabinet $R1
    ${If} $R1 == "$R2\"
      StrCpy $R1 "same"
    ${EndIf}
  ${EndIf}
  ${If} $R1 == "same"
    StrCpy $R0 "The cabinet folder $Cabinet is in $R2, where the cabinet's account cannot write; choose a folder such as C:\Cabinet."
  ${EndIf}
  Pop $R1
FunctionEnd

; Leaves in $R0 why $Cabinet cannot be a cabinet folder, or "" when it can; drops trailing backslashes.
Function CheckCabinet
  Push $R1
  Push $R2
  ${Do}
    StrCpy $R1 $Cabinet 1 -1
    ${If} $R1 != "\"
    ${AndIf} $R1 != "/"
      ${Break}
    ${EndIf}
    StrCpy $Cabinet $Cabinet -1
  ${Loop}
  StrCpy $R0 ""
  StrCpy $R1 $Cabinet 1 1
  StrCpy $R2 $Cabinet 2
  ${If} $Cabinet == ""
    StrCpy $R0 "No cabinet folder was given."
  ${ElseIf} $R2 == "\\"
    ; A network share: a cabinet keeps its audit data on its own disk.
    StrCpy $R0 "The cabinet folder $Cabinet is on a network share; choose a folder on the cabinet's own disk."
  ${ElseIf} $R1 != ":"
    StrCpy $R0 "The cabinet folder $Cabinet is not a full path such as C:\Cabinet."
  ${Else}
    StrLen $R1 $Cabinet
    ${If} $R1 < 4
      StrCpy $R0 "The cabinet folder cannot be the root of a drive ($Cabinet\); choose a folder such as C:\Cabinet."
    ${EndIf}
  ${EndIf}
  ; Below Program Files the cabinet's account could not write its meters.
  ${If} $R0 == ""
    StrCpy $R2 $PROGRAMFILES64
    Call CabinetBelowR2
  ${EndIf}
  ${If} $R0 == ""
    StrCpy $R2 $PROGRAMFILES32
    Call CabinetBelowR2
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

; The value of option $R1 ("/CABINET=") in the parameters $R0, in $R2; the error flag when it is absent.
; Both /CABINET="C:\My Cabinet" and "/CABINET=C:\My Cabinet" (how a shell quotes a whole word) count: a
; value that went unnoticed would install into the default folder instead.
Function GetOption
  Push $R3
  Push $R4
  Push $R5
  ClearErrors
  ${GetOptions} $R0 $R1 $R2
  ${If} ${Errors}
    StrCpy $R1 `"$R1`
    StrLen $R3 $R1
    StrCpy $R4 0
    ${Do}
      StrCpy $R5 $R0 $R3 $R4
      ${If} $R5 == ""
        ${Break}
      ${EndIf}
      ${If} $R5 == $R1
        IntOp $R4 $R4 + $R3
        StrCpy $R2 $R0 "" $R4
        StrCpy $R4 0
        ${Do}
          StrCpy $R5 $R2 1 $R4
          ${If} $R5 == ""
          ${OrIf} $R5 == `"`
            ${Break}
          ${EndIf}
          IntOp $R4 $R4 + 1
        ${Loop}
        StrCpy $R2 $R2 $R4
        StrCpy $R5 "found"
        ${Break}
      ${EndIf}
      IntOp $R4 $R4 + 1
    ${Loop}
    StrCpy $R1 $R1 "" 1
    ClearErrors
    ${If} $R5 != "found"
      SetErrors
    ${EndIf}
  ${EndIf}
  Pop $R5
  Pop $R4
  Pop $R3
FunctionEnd

; Sets $R1 to the first option in the parameters $R0 that the installer does not know ("" when none): a
; mistyped /CABINET= must not install into the default folder unnoticed. What follows /D= is its path.
Function FindUnknownOption
  Push $R2
  Push $R3
  Push $R4
  StrCpy $R1 ""
  StrCpy $R2 0
  ${Do}
    StrCpy $R3 $R0 1 $R2
    ${If} $R3 == ""
      ${Break}
    ${EndIf}
    StrCpy $R4 " "
    ${If} $R2 > 0
      IntOp $R4 $R2 - 1
      StrCpy $R4 $R0 1 $R4
    ${EndIf}
    ${If} $R4 != " "
    ${AndIf} $R4 != `"`
      StrCpy $R3 ""
    ${EndIf}
    ${If} $R3 == "/"
      ; The option's word: up to a blank, a quote or the end.
      StrCpy $R3 $R0 "" $R2
      StrCpy $R4 0
      ${Do}
        StrCpy $R1 $R3 1 $R4
        ${If} $R1 == ""
        ${OrIf} $R1 == " "
        ${OrIf} $R1 == `"`
          ${Break}
        ${EndIf}
        IntOp $R4 $R4 + 1
      ${Loop}
      StrCpy $R1 $R3 $R4
      StrCpy $R3 $R1 3
      ${If} $R3 == "/D="
        StrCpy $R1 ""
        ${Break}
      ${EndIf}
      StrCpy $R3 $R1 9
      StrCpy $R4 $R1 6
      ${If} $R1 == "/S"
      ${OrIf} $R1 == "/NCRC"
      ${OrIf} $R3 == "/CABINET="
      ${OrIf} $R4 == "/USER="
        StrCpy $R1 ""
      ${Else}
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $R2 $R2 + 1
  ${Loop}
  Pop $R4
  Pop $R3
  Pop $R2
FunctionEnd

; Refuses the installation before anything is done: the reason in $R0 goes to a message box, or in silent
; mode to %TEMP%\quizhost-setup-error.txt, and the exit status is 2.
Function RefuseInstallation
  ${If} ${Silent}
    FileOpen $R1 "$TEMP\quizhost-setup-error.txt" w
    FileWrite $R1 "$R0$\r$\nNothing was installed.$\r$\n"
    FileClose $R1
  ${Else}
    MessageBox MB_OK|MB_ICONSTOP "$R0$\r$\nNothing was installed."
  ${EndIf}
  SetErrorLevel 2
  Quit
FunctionEnd

Function .onInit
  !insertmacro SELECT_REGISTRY_VIEW
  ; A reinstall keeps the cabinet folder of the previous installation.
  ReadRegStr $Cabinet HKLM "${UNINSTALL_KEY}" "CabinetFolder"
  ${If} $Cabinet == ""
    StrCpy $Cabinet "C:\Cabinet"
  ${EndIf}
  ReadRegStr $TaskUser HKLM "${UNINSTALL_KEY}" "TaskUser"
  ${GetParameters} $R0
  Call FindUnknownOption
  ${If} $R1 != ""
    StrCpy $R0 "Unknown option $R1: the installer takes /S, /CABINET=folder, /USER=account and /D=folder."
    Call RefuseInstallation
  ${EndIf}
  StrCpy $R1 "/CABINET="
  Call GetOption
  ${IfNot} ${Errors}
    StrCpy $Cabinet $R2
  ${EndIf}
  StrCpy $R1 "/USER="
  Call GetOption
  ${IfNot} ${Errors}
    StrCpy $TaskUser $R2
  ${EndIf}
  ${If} ${Silent}
    Call CheckCabinet
    ${If} $R0 != ""
      Call RefuseInstallation
    ${EndIf}
  ${EndIf}
FunctionEnd

Function CabinetPageLeave
  Call CheckCabinet
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION $R0
    Abort
  ${EndIf}
FunctionEnd

; Registers one scheduled task with the command line in $R0; a failure is remembered for the end.
Function RegisterTask
  Call RunLogged
  ${If} $R1 != 0
    StrCpy $Failed "$Failed$R0 (exit status $R1)$\r$\n"
  ${EndIf}
FunctionEnd

Section "quizhost"
  !insertmacro SELECT_REGISTRY_VIEW
  Call CheckCabinet
  ${If} $R0 != ""
    Abort $R0
  ${EndIf}

  ; The programs. The credit library is the cabinet's own and goes into the cabinet folder by hand.
  SetOutPath "$INSTDIR"
  SetOverwrite on
  ClearErrors
  File "${BINDIR}/quizhost.exe"
  File "${BINDIR}/quizhost-credit-service.exe"
  ; The Flash player the stage loads for Flash movies (Ruffle, from npm: only the files the page loads),
  ; beside quizhost.exe, where the host looks for it.
  SetOutPath "$INSTDIR\ruffle"
  File "${__FILEDIR__}/../../web/node_modules/@ruffle-rs/ruffle/ruffle.js"
  File "${__FILEDIR__}/../../web/node_modules/@ruffle-rs/ruffle/core.ruffle.*.js"
  File "${__FILEDIR__}/../../web/node_modules/@ruffle-rs/ruffle/826bb0938097485a2c9d.wasm"
  File "${__FILEDIR__}/../../web/node_modules/@ruffle-rs/ruffle/LICENSE_MIT"
  File "${__FILEDIR__}/../../web/node_modules/@ruffle-rs/ruffle/LICENSE_APACHE"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    ; A running host or credit service holds its program file: the old one would stay unnoticed.
    MessageBox MB_OK|MB_ICONSTOP "The programs in $INSTDIR could not all be replaced: quizhost or its credit service is running. End them (or restart Windows without logging the cabinet on) and run the installer again." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  FileOpen $Log "$INSTDIR\install.log" w
  FileWrite $Log "quizhost ${VERSION} (${ARCH})$\r$\nprogram folder: $INSTDIR$\r$\ncabinet folder: $Cabinet$\r$\n"

  ; The cabinet folder: the folders the host writes to, and the example cabinet wherever a file of that
  ; name is not there yet. Nothing that exists is replaced, moved or removed.
  CreateDirectory "$Cabinet\system\logs"
  CreateDirectory "$Cabinet\variable"
  CreateDirectory "$Cabinet\data"
  SetOutPath "$Cabinet"
  SetOverwrite off
  File /r /x README.md /x .gitattributes "${CABINET_SOURCE}/*"
  SetOverwrite on
  SetOutPath "$INSTDIR"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "quizhost ${VERSION} (${ARCH})"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "quizhost"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "CabinetFolder" "$Cabinet"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "TaskUser" "$TaskUser"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1

  ; The host starts in the cabinet account's session at its logon: it shows windows and message boxes,
  ; so it cannot be a service. Highest rights let it change the display mode and restart Windows.
  StrCpy $Failed ""
  StrCpy $R2 ""
  ${If} $TaskUser != ""
    StrCpy $R2 ` /RU "$TaskUser"`
  ${EndIf}
  StrCpy $R0 `"$SYSDIR\schtasks.exe" /Create /F /TN "${HOST_TASK}" /SC ONLOGON /RL HIGHEST /IT$R2 /TR "\"$INSTDIR\quizhost.exe\" --root \"$Cabinet\" --kiosk"`
  Call RegisterTask

  ; A socket-platform cabinet reaches its credit through the local credit service, started with Windows
  ; before anyone logs on. A cabinet that is no longer one loses the service of an earlier installation.
  ${If} ${FileExists} "$Cabinet\${SOCKET_FLAG}"
    StrCpy $R0 `"$SYSDIR\schtasks.exe" /Create /F /TN "${SERVICE_TASK}" /SC ONSTART /RU SYSTEM /RL HIGHEST /TR "\"$INSTDIR\quizhost-credit-service.exe\" --port ${CREDIT_PORT} --state \"$Cabinet\credit_state.txt\""`
    Call RegisterTask
  ${Else}
    ReadRegDWORD $R1 HKLM "${UNINSTALL_KEY}" "CreditServiceTask"
    ${If} $R1 == 1
      StrCpy $R0 `"$SYSDIR\schtasks.exe" /Delete /F /TN "${SERVICE_TASK}"`
      Call RunLogged
    ${EndIf}
  ${EndIf}
  ${If} ${FileExists} "$Cabinet\${SOCKET_FLAG}"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "CreditServiceTask" 1
  ${Else}
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "CreditServiceTask" 0
  ${EndIf}

  ; The meters leave the cabinet through the windows exporter's textfile folder, once a minute.
  StrCpy $R0 `"$SYSDIR\schtasks.exe" /Create /F /TN "${METERS_TASK}" /SC MINUTE /MO 1 /RU SYSTEM /TR "\"$INSTDIR\quizhost.exe\" meters --root \"$Cabinet\" --format prometheus --output \"$PROGRAMFILES64\windows_exporter\textfile_inputs\quizhost.prom\""`
  Call RegisterTask

  ; The preflight names what would stop the cabinet (a missing tccomm.dll, damaged files): its findings
  ; are shown and kept, and never stop the installation, which the operator may be about to complete.
  StrCpy $R0 `"$SYSDIR\cmd.exe" /C ""$INSTDIR\quizhost.exe" check --root "$Cabinet" > "$INSTDIR\preflight.txt" 2>&1"`
  Call RunLogged
  StrCpy $R3 $R1
  StrCpy $R4 ""
  ClearErrors
  FileOpen $R5 "$INSTDIR\preflight.txt" r
  ${IfNot} ${Errors}
    ${Do}
      ClearErrors
      FileRead $R5 $R6
      ${If} ${Errors}
        ${Break}
      ${EndIf}
      DetailPrint "preflight: $R6"
      StrLen $R7 $R4
      ${If} $R7 < 700
        StrCpy $R4 "$R4$R6"
      ${EndIf}
    ${Loop}
    FileClose $R5
  ${EndIf}
  ${IfNot} ${Silent}
    MessageBox MB_OK|MB_ICONINFORMATION "Preflight of $Cabinet (quizhost check, exit status $R3):$\r$\n$\r$\n$R4$\r$\nThe full findings are in $INSTDIR\preflight.txt."
  ${EndIf}

  ${If} $Failed != ""
    FileWrite $Log "not registered:$\r$\n$Failed"
    FileClose $Log
    DetailPrint "Not registered: $Failed"
    MessageBox MB_OK|MB_ICONEXCLAMATION "The programs are installed, but these start entries could not be registered:$\r$\n$Failed$\r$\nSee $INSTDIR\install.log." /SD IDOK
    SetErrorLevel 3
  ${Else}
    FileWrite $Log "done$\r$\n"
    FileClose $Log
  ${EndIf}
SectionEnd

Function un.onInit
  !insertmacro SELECT_REGISTRY_VIEW
FunctionEnd

; Removes the programs and the start entries. The cabinet folder belongs to the operator and stays as it
; is, audit data and all.
Section "Uninstall"
  !insertmacro SELECT_REGISTRY_VIEW
  ReadRegStr $Cabinet HKLM "${UNINSTALL_KEY}" "CabinetFolder"
  FileOpen $Log "$TEMP\quizhost-uninstall.log" w
  FileWrite $Log "quizhost ${VERSION} (${ARCH}) removed from $INSTDIR$\r$\n"
  ; A task that is not there (the credit service of a library cabinet) is no failure.
  StrCpy $R0 `"$SYSDIR\schtasks.exe" /Delete /F /TN "${HOST_TASK}"`
  Call un.RunLogged
  StrCpy $R0 `"$SYSDIR\schtasks.exe" /Delete /F /TN "${SERVICE_TASK}"`
  Call un.RunLogged
  StrCpy $R0 `"$SYSDIR\schtasks.exe" /Delete /F /TN "${METERS_TASK}"`
  Call un.RunLogged

  ; A program still running (the host until the cabinet restarts) goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\quizhost.exe"
  Delete /REBOOTOK "$INSTDIR\quizhost-credit-service.exe"
  Delete "$INSTDIR\install.log"
  Delete "$INSTDIR\preflight.txt"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /r "$INSTDIR\ruffle"
  ; Without /r: anything else someone put in the program folder keeps it.
  RMDir /REBOOTOK "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  FileWrite $Log "cabinet folder left as it is: $Cabinet$\r$\n"
  FileClose $Log
SectionEnd
