; A minimal ANSI installer that calls callvane::CallURL the way a product
; installer does, then writes everything left on its string stack to
; "stack-after.txt" beside itself, one string a line, followed by "end".
;
; makensis defines:
;   PLUGIN_DIR  the folder holding the callvane.dll under test
;   STRINGS     an include file (Windows-1252) with the macro PushStrings that
;               pushes the strings for this run (the last push is popped first)
;   OUT_FILE    the installer to write
Unicode false
!addplugindir /x86-ansi "${PLUGIN_DIR}"
!include /CHARSET=CP1252 "${STRINGS}"

Name "callvane test"
OutFile "${OUT_FILE}"
RequestExecutionLevel user
ShowInstDetails nevershow

Section
  !insertmacro PushStrings
  callvane::CallURL

  FileOpen $1 "$EXEDIR\stack-after.txt" w
  ClearErrors
  pop_next:
    Pop $0
    IfErrors stack_empty
    FileWrite $1 "$0$\n"
    Goto pop_next
  stack_empty:
  FileWrite $1 "end$\n"
  FileClose $1
SectionEnd
