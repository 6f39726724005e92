; The definition of the log-on check's scheduled task (Windows Vista and
; later), for schtasks /Create /XML. Needs ${PRODUCT} and $INSTDIR.
;
;   Push FILE
;   Call WriteLogonTaskDefinition   writes the definition to FILE; the error
;                                   flag is set when the file cannot be made
;
; The task starts "$INSTDIR\Quillmend.exe" -s at the log-on of every user
; (a group principal, the Users group, and a log-on trigger without a user),
; with the highest rights that user has: Windows starts a program that asks
; for administrator rights from a task, never from a Run value. The check
; runs for as long as the user stays logged on, on battery too, and with the
; priority of a program started by hand; an instance per user's session.
; The file is UTF-16 with a byte order mark, as the Task Scheduler exports
; it, so that any install folder the ANSI code page can name reaches the
; Task Scheduler unchanged.

!include LogicLib.nsh
!include WordFunc.nsh

; Writes the text on the stack and a line end to the open file $R0 as
; UTF-16LE, converted from the ANSI code page.
Function QmWriteTaskLine
  Exch $R1
  Push $R2
  StrCpy $R1 "$R1$\r$\n"
  System::Call "kernel32::lstrlenW(w R1) i .R2"
  IntOp $R2 $R2 * 2
  System::Call "kernel32::WriteFile(p R0, w R1, i R2, *i 0, p 0) i .R2"
  ${If} $R2 == 0
    SetErrors
  ${EndIf}
  Pop $R2
  Pop $R1
FunctionEnd

!macro QmTaskLine TEXT
  Push `${TEXT}`
  Call QmWriteTaskLine
!macroend

Function WriteLogonTaskDefinition
  Exch $R0
  Push $R1
  ; The install folder is element text: "&" (allowed in folder names) and
  ; the markup characters are written as references.
  ${WordReplace} "$INSTDIR" "&" "&amp;" "+" $R1
  ${WordReplace} "$R1" "<" "&lt;" "+" $R1
  ${WordReplace} "$R1" ">" "&gt;" "+" $R1
  ClearErrors
  FileOpen $R0 "$R0" w
  ${IfNot} ${Errors}
    FileWriteByte $R0 255
    FileWriteByte $R0 254
    !insertmacro QmTaskLine '<?xml version="1.0" encoding="UTF-16"?>'
    !insertmacro QmTaskLine '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    !insertmacro QmTaskLine '  <RegistrationInfo>'
    !insertmacro QmTaskLine '    <Description>Starts ${PRODUCT} hidden at log-on; its notification-area icon shows how many problems the last scan found.</Description>'
    !insertmacro QmTaskLine '  </RegistrationInfo>'
    !insertmacro QmTaskLine '  <Triggers>'
    !insertmacro QmTaskLine '    <LogonTrigger>'
    !insertmacro QmTaskLine '      <Enabled>true</Enabled>'
    !insertmacro QmTaskLine '    </LogonTrigger>'
    !insertmacro QmTaskLine '  </Triggers>'
    !insertmacro QmTaskLine '  <Principals>'
    !insertmacro QmTaskLine '    <Principal id="Users">'
    !insertmacro QmTaskLine '      <GroupId>S-1-5-32-545</GroupId>'
    !insertmacro QmTaskLine '      <RunLevel>HighestAvailable</RunLevel>'
    !insertmacro QmTaskLine '    </Principal>'
    !insertmacro QmTaskLine '  </Principals>'
    !insertmacro QmTaskLine '  <Settings>'
    !insertmacro QmTaskLine '    <MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>'
    !insertmacro QmTaskLine '    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>'
    !insertmacro QmTaskLine '    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>'
    !insertmacro QmTaskLine '    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>'
    !insertmacro QmTaskLine '    <RunOnlyIfIdle>false</RunOnlyIfIdle>'
    !insertmacro QmTaskLine '    <IdleSettings>'
    !insertmacro QmTaskLine '      <StopOnIdleEnd>false</StopOnIdleEnd>'
    !insertmacro QmTaskLine '      <RestartOnIdle>false</RestartOnIdle>'
    !insertmacro QmTaskLine '    </IdleSettings>'
    !insertmacro QmTaskLine '    <StartWhenAvailable>false</StartWhenAvailable>'
    !insertmacro QmTaskLine '    <AllowStartOnDemand>true</AllowStartOnDemand>'
    !insertmacro QmTaskLine '    <Enabled>true</Enabled>'
    !insertmacro QmTaskLine '    <Hidden>false</Hidden>'
    !insertmacro QmTaskLine '    <Priority>5</Priority>'
    !insertmacro QmTaskLine '  </Settings>'
    !insertmacro QmTaskLine '  <Actions Context="Users">'
    !insertmacro QmTaskLine '    <Exec>'
    !insertmacro QmTaskLine '      <Command>$R1\Quillmend.exe</Command>'
    !insertmacro QmTaskLine '      <Arguments>-s</Arguments>'
    !insertmacro QmTaskLine '    </Exec>'
    !insertmacro QmTaskLine '  </Actions>'
    !insertmacro QmTaskLine '</Task>'
    FileClose $R0
  ${EndIf}
  Pop $R1
  Pop $R0
FunctionEnd
