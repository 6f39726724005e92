; Quillmend's installer: an ANSI installer for Windows XP SP3 up to current
; Windows that installs for every user of the machine (administrator rights).
;
; The "installer" target (installer/CMakeLists.txt) runs makensis with
;   CONFIG    config.nsh, the build's settings: the version, the staged
;             programs, the user guide's file list, the plug-in's folder and
;             the registration address QM_REGISTRATION_URL (empty: no
;             registration page, and the plug-in is left out)
;   OUT_FILE  the installer to write
;
; Command line: /S installs silently (no registration in a silent install),
; /D=FOLDER (last) sets the folder, /LOGON selects the log-on check.
; The uninstaller takes /S; a silent uninstall keeps the backup files.
;
; The log-on check starts "<folder>\Quillmend.exe" -s when a user logs on.
; Quillmend asks for administrator rights, and Windows Vista and later never
; start such a program from a Run value, so there it is a scheduled task
; named after the product (logon-task.nsh), registered with schtasks; on
; Windows XP it is the HKLM Run value.

Unicode false
!include "${CONFIG}"
!include "${QM_HELP_NSH}"

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh
!include WinVer.nsh
!include WinMessages.nsh
!include x64.nsh

!define PRODUCT "Quillmend"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillmend"
!define SETTINGS_KEY "SOFTWARE\Quillmend"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
; Where the Startup Manager keeps a Run value it has switched off.
!define RUN_OFF_RECORD "SOFTWARE\Microsoft\Shared Tools\MSConfig\startupreg\Quillmend"
; The Run value's data: the silent start with the notification icon.
!define LOGON_COMMAND '"$INSTDIR\Quillmend.exe" -s'
!define SCHTASKS '"$SYSDIR\schtasks.exe"'

!if "${QM_REGISTRATION_URL}" != ""
  !addplugindir /x86-ansi "${QM_PLUGIN_DIR}"
!endif

Name "${PRODUCT} ${QM_VERSION}"
OutFile "${OUT_FILE}"
InstallDir "$PROGRAMFILES\${PRODUCT}"
; Installing again goes to the folder of the installation there is.
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${QM_VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${QM_ICON}"
!define MUI_UNICON "${QM_ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_SMALLDESC

!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!if "${QM_REGISTRATION_URL}" != ""
  Page custom RegistrationPage RegistrationPageLeave
!endif
!insertmacro MUI_PAGE_INSTFILES

!insertmacro MUI_UNPAGE_CONFIRM
UninstPage custom un.BackupPage un.BackupPageLeave
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${QM_VERSION_QUAD}"
VIFileVersion "${QM_VERSION_QUAD}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "ProductVersion" "${QM_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileVersion" "${QM_VERSION}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=${LANG_ENGLISH} "CompanyName" "${QM_PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ENGLISH} "LegalCopyright" "Copyright (C) ${QM_PUBLISHER}. All rights reserved."

!if "${QM_REGISTRATION_URL}" != ""
  Var RegName
  Var RegEmail
  Var RegNameField
  Var RegEmailField
!endif
Var DeleteBackups
Var DeleteBackupsBox
; The log-on task as found at the start: "on", "off" (there, but disabled
; in the Task Scheduler) or "" (none, and always on Windows XP).
Var LogonTask
!include "logon-task.nsh"

; --- installation ------------------------------------------------------------

; The program files, the user guide, the uninstaller, the shortcuts and the
; version. The settings key keeps every other value, so that installing
; again keeps the user's settings; the Backup folder is never touched.
Section "${PRODUCT} (required)" SecMain
  SectionIn RO
  SetShellVarContext all
  SetOutPath "$INSTDIR"
  File "${QM_STAGE_DIR}/Quillmend.exe"
  File "${QM_STAGE_DIR}/quillmend-scan.exe"
  !insertmacro QmInstallHelp
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Quillmend.exe"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\${PRODUCT} user guide.lnk" "$INSTDIR\help\index.html"
  CreateShortcut "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk" "$INSTDIR\uninstall.exe"

  ; The program's single-instance name and window caption carry it.
  WriteRegStr HKLM "${SETTINGS_KEY}" "Version" "${QM_VERSION}"
SectionEnd

Section /o "Check the registry at log-on" SecLogon
  ${IfNot} ${AtLeastWinVista}
    WriteRegStr HKLM "${RUN_KEY}" "${PRODUCT}" '${LOGON_COMMAND}'
    Return
  ${EndIf}
  ; The task replaces (or refreshes) one there is. Our Run value from an
  ; earlier installation, which never started anything here, goes once the
  ; task is there; when it cannot be registered, the value keeps the choice
  ; for the next installation.
  InitPluginsDir
  Push "$PLUGINSDIR\logon-task.xml"
  Call WriteLogonTaskDefinition
  StrCpy $0 "no definition"
  ${IfNot} ${Errors}
    DetailPrint "Registering the scheduled task ${PRODUCT}"
    nsExec::ExecToLog '${SCHTASKS} /Create /TN "${PRODUCT}" /XML "$PLUGINSDIR\logon-task.xml" /F'
    Pop $0
  ${EndIf}
  Delete "$PLUGINSDIR\logon-task.xml"
  ${If} $0 == 0
    ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == '${LOGON_COMMAND}'
      DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
  ${Else}
    DetailPrint "The Task Scheduler did not take the log-on check ($0)."
    MessageBox MB_ICONEXCLAMATION|MB_OK "The log-on check could not be set up: the Task Scheduler did not take the task ${PRODUCT} ($0). ${PRODUCT} is installed; run this setup again to retry." /SD IDOK
  ${EndIf}
SectionEnd

; Unticked on an installation that had it: the log-on check goes. A value
; of the same name that starts something else is not ours and stays; a
; task the user disabled stays as the user left it.
Section "-Log-on check off"
  ${IfNot} ${SectionIsSelected} ${SecLogon}
    ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
    ${If} $0 == '${LOGON_COMMAND}'
      DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
    ${EndIf}
    ${If} $LogonTask == on
      DetailPrint "Deleting the scheduled task ${PRODUCT}"
      nsExec::ExecToLog '${SCHTASKS} /Delete /TN "${PRODUCT}" /F'
      Pop $0
    ${EndIf}
  ${EndIf}
SectionEnd

!if "${QM_REGISTRATION_URL}" != ""
; Sent only when the user typed something; the plug-in reports nothing, and
; the installation goes on whatever became of the request.
Section "-Registration"
  ${If} $RegName != ""
  ${OrIf} $RegEmail != ""
    DetailPrint "Sending the registration..."
    Push $RegEmail
    Push $RegName
    Push "${QM_REGISTRATION_URL}"
    callvane::CallURL
  ${EndIf}
SectionEnd
!endif

; Last, so that the estimated size counts every file.
Section "-Uninstall entry"
  ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
  ${GetSize} "$INSTDIR\help" "/S=0K /G=1" $3 $1 $2
  IntOp $0 $0 + $3
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${QM_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${QM_PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Quillmend.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecMain} "The program, its headless scanner, the user guide and the Start Menu shortcuts."
  !insertmacro MUI_DESCRIPTION_TEXT ${SecLogon} "Starts Quillmend hidden at every log-on; its notification-area icon shows how many problems the last scan found."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; Windows XP SP3 or later, and an administrator: the program files go
; below Program Files and the entries below HKEY_LOCAL_MACHINE.
!macro CheckSystem
  StrCpy $0 ok
  ${If} ${AtMostWin2000}
    StrCpy $0 old
  ${ElseIf} ${IsWinXP}
  ${AndIf} ${AtMostServicePack} 2
    StrCpy $0 old
  ${EndIf}
  ${If} $0 == old
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs Windows XP with Service Pack 3 or a later Windows." /SD IDOK
    Abort
  ${EndIf}
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "admin"
    MessageBox MB_ICONSTOP|MB_OK "Please run this as an administrator: ${PRODUCT} is installed for every user of this computer." /SD IDOK
    Abort
  ${EndIf}
!macroend

; Sets $LogonTask from the Task Scheduler 2.0 interface (schtasks says
; whether a task is enabled only in words of the language of Windows): the
; ITaskService, its root folder, the task, its Enabled. The calls run on the
; main thread, where the installer has initialised OLE.
!macro ReadLogonTask
  StrCpy $LogonTask ""
  ${If} ${AtLeastWinVista}
    ; CLSID_TaskScheduler, IID_ITaskService
    System::Call "ole32::CoCreateInstance(g '{0F87369F-A4E5-4CFC-BD3E-73E6154572DD}', p 0, i 1, g '{2FABA4C7-4DA9-4013-9697-20CC3FD40F85}', *p .r1) i .r0"
    ${If} $0 = 0
      ; ITaskService::Connect(four empty VARIANTs), ::GetFolder("\")
      System::Call "$1->10(l 0, l 0, l 0, l 0, l 0, l 0, l 0, l 0) i .r0"
      ${If} $0 = 0
        System::Call "oleaut32::SysAllocString(w '\') p .r2"
        System::Call "$1->7(p r2, *p .r3) i .r0"
        System::Call "oleaut32::SysFreeString(p r2)"
        ${If} $0 = 0
          ; ITaskFolder::GetTask(name), IRegisteredTask::get_Enabled
          System::Call "oleaut32::SysAllocString(w '${PRODUCT}') p .r2"
          System::Call "$3->13(p r2, *p .r4) i .r0"
          System::Call "oleaut32::SysFreeString(p r2)"
          ${If} $0 = 0
            ; Unknown counts as off: the task is then left as it is. The
            ; VARIANT_BOOL fills the low half of a zeroed 32-bit number.
            StrCpy $2 0
            System::Call "$4->10(*i r2r2) i .r0"
            StrCpy $LogonTask off
            ${If} $0 = 0
            ${AndIf} $2 <> 0
              StrCpy $LogonTask on
            ${EndIf}
            System::Call "$4->2()"
          ${EndIf}
          System::Call "$3->2()"
        ${EndIf}
      ${EndIf}
      System::Call "$1->2()"
    ${EndIf}
  ${EndIf}
!macroend

Function .onInit
  !insertmacro CheckSystem
  ; Installing again keeps the log-on check as it is: on when there is a
  ; Run value of that name or the task is enabled.
  !insertmacro ReadLogonTask
  ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 != ""
  ${OrIf} $LogonTask == on
    !insertmacro SelectSection ${SecLogon}
  ${EndIf}
  ${GetParameters} $1
  ClearErrors
  ${GetOptions} $1 "/LOGON" $2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecLogon}
  ${EndIf}
FunctionEnd

!if "${QM_REGISTRATION_URL}" != ""
Function RegistrationPage
  !insertmacro MUI_HEADER_TEXT "Registration" "Register your copy of ${PRODUCT} (optional)."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 30u "Type your name and e-mail address to register. Leave both empty to skip this; the installation goes on either way."
  Pop $0
  ${NSD_CreateLabel} 0 40u 60u 12u "&Name:"
  Pop $0
  ${NSD_CreateText} 64u 38u 220u 12u "$RegName"
  Pop $RegNameField
  SendMessage $RegNameField ${EM_LIMITTEXT} 255 0
  ${NSD_CreateLabel} 0 60u 60u 12u "&E-mail address:"
  Pop $0
  ${NSD_CreateText} 64u 58u 220u 12u "$RegEmail"
  Pop $RegEmailField
  SendMessage $RegEmailField ${EM_LIMITTEXT} 255 0
  nsDialogs::Show
FunctionEnd

Function RegistrationPageLeave
  ${NSD_GetText} $RegNameField $RegName
  ${NSD_GetText} $RegEmailField $RegEmail
FunctionEnd
!endif

; --- uninstallation ------------------------------------------------------------

; Only a folder that holds Quillmend, or that the Uninstall entry names, is
; uninstalled: a copy of the uninstaller run anywhere else removes nothing.
Function un.onInit
  !insertmacro CheckSystem
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 != $INSTDIR
  ${AndIfNot} ${FileExists} "$INSTDIR\Quillmend.exe"
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} is not installed in $INSTDIR." /SD IDOK
    Abort
  ${EndIf}
  !insertmacro ReadLogonTask
FunctionEnd

; The backup files are the only way to undo a repair: they are deleted only
; when the user ticks the box here. The page is left out when there are
; none; a silent uninstall never shows it, so it keeps them.
Function un.BackupPage
  StrCpy $2 0
  ClearErrors
  FindFirst $0 $1 "$INSTDIR\Backup\*.*"
  ${DoUntil} ${Errors}
    ${If} $1 != "."
    ${AndIf} $1 != ".."
    ${AndIfNot} ${FileExists} "$INSTDIR\Backup\$1\*.*"
      IntOp $2 $2 + 1
    ${EndIf}
    FindNext $0 $1
  ${Loop}
  FindClose $0
  ${If} $2 == 0
    Abort
  ${EndIf}

  !insertmacro MUI_HEADER_TEXT "Registry backups" "Choose whether to keep your backup files."
  nsDialogs::Create 1018
  Pop $0
  ${If} $0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 48u "$INSTDIR\Backup holds $2 backup file(s) of the registry entries ${PRODUCT} has repaired. They are the only way to undo those repairs, and they stay in that folder unless you tick the box below."
  Pop $0
  ${NSD_CreateCheckbox} 0 56u 100% 12u "&Delete the backup files as well"
  Pop $DeleteBackupsBox
  nsDialogs::Show
FunctionEnd

Function un.BackupPageLeave
  ${NSD_GetState} $DeleteBackupsBox $DeleteBackups
FunctionEnd

; Removes what the installer put there: exactly its files, the shortcuts,
; its log-on value (also when the Startup Manager has switched it off), the
; settings, the Uninstall entry and the log-on task (only when they are
; this installation's), and the folders when they are empty.
Section "Uninstall"
  SetShellVarContext all
  Delete "$INSTDIR\Quillmend.exe"
  Delete "$INSTDIR\quillmend-scan.exe"
  !insertmacro QmRemoveHelp
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT} user guide.lnk"
  Delete "$SMPROGRAMS\${PRODUCT}\Uninstall ${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"

  ReadRegStr $0 HKLM "${RUN_KEY}" "${PRODUCT}"
  ${If} $0 == '${LOGON_COMMAND}'
    DeleteRegValue HKLM "${RUN_KEY}" "${PRODUCT}"
  ${EndIf}
  ; The program keeps its records where the system's own System
  ; Configuration Utility reads them: the 64-bit view on 64-bit Windows.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ReadRegStr $0 HKLM "${RUN_OFF_RECORD}" "command"
  ${If} $0 == '${LOGON_COMMAND}'
    DeleteRegKey HKLM "${RUN_OFF_RECORD}"
  ${EndIf}
  SetRegView default

  ; Another installation elsewhere took over the entry, the settings and
  ; the task (installing registers the task again when there is one).
  ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${OrIf} $0 == ""
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey HKLM "${UNINST_KEY}"
    ${If} $LogonTask != ""
      DetailPrint "Deleting the scheduled task ${PRODUCT}"
      nsExec::ExecToLog '${SCHTASKS} /Delete /TN "${PRODUCT}" /F'
      Pop $0
    ${EndIf}
  ${EndIf}

  ${If} $DeleteBackups == ${BST_CHECKED}
    Delete "$INSTDIR\Backup\*.*"
    RMDir "$INSTDIR\Backup"
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
