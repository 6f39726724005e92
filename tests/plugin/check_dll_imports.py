#!/usr/bin/env python3
"""Checks what the built callvane.dll exports and imports, with objdump -p:
it exports CallURL alone, undecorated, and imports only from WinINet and
DLLs that Windows XP ships, using only functions XP has. A new import (from
a changed toolchain or run-time library) fails here until it has been checked
against Windows XP and added below."""

import re
import subprocess
import sys

ALLOWED = {
    "kernel32.dll": {
        "DeleteCriticalSection", "EnterCriticalSection", "FreeLibrary", "GetLastError",
        # GetTickCount: the build's GetTickCount64 stand-in, linked into every binary.
        "GetModuleHandleA", "GetProcAddress", "GetTickCount", "GlobalFree", "InitializeCriticalSection",
        "LeaveCriticalSection", "LoadLibraryA", "Sleep", "TlsGetValue", "VirtualProtect",
        "VirtualQuery",
    },
    "msvcrt.dll": {
        "_amsg_exit", "_initterm", "_iob", "_lock", "_unlock", "abort", "calloc", "free",
        "fwrite", "memchr", "memcpy", "memmove", "memset", "realloc", "strlen", "strncmp",
        "vfprintf",
    },
    "wininet.dll": {"InternetCloseHandle", "InternetOpenA", "InternetOpenUrlA"},
}


def main(objdump, dll):
    text = subprocess.run([objdump, "-p", dll], check=True, capture_output=True,
                          text=True).stdout
    failures = []
    imports, current = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = imports.setdefault(m.group(1).lower(), set())
        elif current is not None and re.match(r"\s*[0-9a-f]+\s+\d+\s+\S+$", line):
            current.add(line.split()[-1])
        elif not line.strip():
            current = None
    for name, functions in imports.items():
        unknown = functions - ALLOWED.get(name, set())
        if unknown:
            failures.append("%s: %s" % (name, ", ".join(sorted(unknown))))
    table = text.partition("[Ordinal/Name Pointer] Table")[2].strip().split("\n\n")[0]
    exports = re.findall(r"^\s*\[\s*\d+\] (\S+)$", table, re.M)
    if exports != ["CallURL"]:
        failures.append("exports %r, expected ['CallURL']" % exports)
    for failure in failures:
        print("FAIL", failure)
    print("imports:", {name: len(functions) for name, functions in imports.items()})
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
