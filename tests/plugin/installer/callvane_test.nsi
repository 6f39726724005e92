; A minimal ANSI installer that calls callvane::CallURL the way a product
; installer does, once per test case, and after each call writes everything
; left on its string stack to "stack-after.txt" beside itself:
;   case <name>
;   <each string popped, one a line>
;   end
;
; makensis defines:
;   PLUGIN_DIR  the folder holding the callvane.dll under test
;   CASES       an include file (Windows-1252) with the macro Cases, which
;               for each case pushes its strings, calls the plug-in, sets
;               $9 to the case name and calls DumpStack
;   OUT_FILE    the installer to write
Unicode false
!addplugindir /x86-ansi "${PLUGIN_DIR}"
!include /CHARSET=CP1252 "${CASES}"

Name "callvane test"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
ShowInstDetails nevershow

; Pops the whole stack into the file open as $8, under the heading "case $9".
Function DumpStack
  FileWrite $8 "case $9$\n"
  ClearErrors
  pop_next:
    Pop $0
    IfErrors stack_empty
    FileWrite $8 "$0$\n"
    Goto pop_next
  stack_empty:
  FileWrite $8 "end$\n"
FunctionEnd

Section
  FileOpen $8 "$EXEDIR\stack-after.txt" w
  !insertmacro Cases
  FileClose $8
SectionEnd
