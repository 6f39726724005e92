#!/usr/bin/env python3
"""Lists the DLLs and functions that every built .exe and .dll imports and
fails on a DLL that Windows XP does not ship, or on a function that XP's
system DLLs do not export.

    check-xp-imports.py OBJDUMP BUILD_DIR     check every binary below BUILD_DIR
    check-xp-imports.py --self-test           check the checker on sample listings

XP's DLLs are named below. Functions are checked against a list of those
known to have come with later Windows versions (and, for msvcrt.dll, the
naming rules of the later run-time additions): the import tables of our
binaries only ever grow by a changed toolchain or new code, and a function
found on this list is a program that does not start on XP. Add to the list
when a newer function is found; remove nothing without checking XP SP3.
"""

import os
import re
import subprocess
import sys

# DLLs of a Windows XP SP3 installation (32-bit) that programs may import.
XP_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "crypt32.dll", "dbghelp.dll", "gdi32.dll",
    "gdiplus.dll", "imm32.dll", "iphlpapi.dll", "kernel32.dll", "mpr.dll", "msimg32.dll",
    "msvcrt.dll", "netapi32.dll", "ntdll.dll", "ole32.dll", "oleacc.dll", "oleaut32.dll",
    "psapi.dll", "rpcrt4.dll", "secur32.dll", "setupapi.dll", "shell32.dll", "shfolder.dll",
    "shlwapi.dll", "urlmon.dll", "user32.dll", "userenv.dll", "uxtheme.dll", "version.dll",
    "winhttp.dll", "wininet.dll", "winmm.dll", "winspool.drv", "wintrust.dll", "ws2_32.dll",
    "wsock32.dll", "wtsapi32.dll",
}

# Functions of those DLLs that Windows XP SP3 does not export (Vista and later).
NEWER_FUNCTIONS = {
    "kernel32.dll": {
        "AcquireSRWLockExclusive", "AcquireSRWLockShared", "AddDllDirectory", "CancelIoEx",
        "CancelSynchronousIo", "CompareStringEx", "CompareStringOrdinal", "CopyFile2",
        "CreateEventExA", "CreateEventExW", "CreateFile2", "CreateMutexExA", "CreateMutexExW",
        "CreateRemoteThreadEx", "CreateSemaphoreExA", "CreateSemaphoreExW", "CreateSymbolicLinkA",
        "CreateSymbolicLinkW", "CreateWaitableTimerExW", "FlsAlloc", "FlsFree", "FlsGetValue",
        "FlsSetValue", "GetCurrentProcessorNumber", "GetDynamicTimeZoneInformation",
        "GetErrorMode", "GetFileInformationByHandleEx", "GetFinalPathNameByHandleA",
        "GetFinalPathNameByHandleW", "GetLocaleInfoEx", "GetLogicalProcessorInformationEx",
        "GetNamedPipeClientProcessId", "GetOverlappedResultEx", "GetProcessIdOfThread",
        "GetProductInfo", "GetQueuedCompletionStatusEx", "GetSystemDefaultLocaleName",
        "GetSystemTimePreciseAsFileTime", "GetThreadErrorMode", "GetThreadId", "GetTickCount64",
        "GetUserDefaultLocaleName", "InitOnceBeginInitialize", "InitOnceComplete",
        "InitOnceExecuteOnce", "InitOnceInitialize", "InitializeConditionVariable",
        "InitializeCriticalSectionEx", "InitializeSRWLock", "InterlockedCompareExchange64",
        "LCIDToLocaleName", "LCMapStringEx", "LocaleNameToLCID", "QueryFullProcessImageNameA",
        "QueryFullProcessImageNameW", "RegisterApplicationRestart", "ReleaseSRWLockExclusive",
        "ReleaseSRWLockShared", "RemoveDllDirectory", "SetDefaultDllDirectories",
        "SetFileCompletionNotificationModes", "SetFileInformationByHandle", "SetThreadErrorMode",
        "SleepConditionVariableCS", "SleepConditionVariableSRW", "TryAcquireSRWLockExclusive",
        "TryAcquireSRWLockShared", "WakeAllConditionVariable", "WakeConditionVariable",
        "Wow64DisableWow64FsRedirection", "Wow64RevertWow64FsRedirection",
    },
    "advapi32.dll": {
        "EventRegister", "EventUnregister", "EventWrite", "RegCopyTreeA", "RegCopyTreeW",
        "RegDeleteKeyExA", "RegDeleteKeyExW", "RegDeleteKeyValueA", "RegDeleteKeyValueW",
        "RegDeleteTreeA", "RegDeleteTreeW", "RegGetValueA", "RegGetValueW", "RegLoadMUIStringA",
        "RegLoadMUIStringW", "RegSetKeyValueA", "RegSetKeyValueW",
    },
    "user32.dll": {
        "AddClipboardFormatListener", "CalculatePopupWindowPosition", "ChangeWindowMessageFilter",
        "ChangeWindowMessageFilterEx", "GetDpiForSystem", "GetDpiForWindow", "GetGestureInfo",
        "GetWindowDisplayAffinity", "IsProcessDPIAware", "LogicalToPhysicalPoint",
        "PhysicalToLogicalPoint", "RegisterPowerSettingNotification", "RegisterTouchWindow",
        "RemoveClipboardFormatListener", "SetProcessDPIAware", "SetProcessDpiAwarenessContext",
        "SetWindowDisplayAffinity", "ShutdownBlockReasonCreate", "ShutdownBlockReasonDestroy",
    },
    "shell32.dll": {
        "SHCreateItemFromIDList", "SHCreateItemFromParsingName", "SHGetKnownFolderIDList",
        "SHGetKnownFolderPath", "SHGetPropertyStoreForWindow", "SHGetStockIconInfo",
    },
    "comctl32.dll": {"LoadIconMetric", "LoadIconWithScaleDown", "TaskDialog", "TaskDialogIndirect"},
    "msvcrt.dll": {
        "_configthreadlocale", "_create_locale", "_free_locale", "_fseeki64", "_ftelli64",
        "_get_current_locale", "_get_errno", "_get_invalid_parameter_handler", "_set_errno",
        "_set_invalid_parameter_handler",
    },
}


def msvcrt_is_newer(name):
    # The bounds-checked (_s) and locale-taking (_l) functions came with the
    # run time of Windows Vista.
    return name.endswith("_s") or name.endswith("_l")


def parse_imports(text):
    """{dll: set of function names (or "#ordinal")} from objdump -p."""
    imports, current = {}, None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = imports.setdefault(m.group(1).lower(), set())
            continue
        if current is None:
            continue
        if not line.strip():
            current = None
            continue
        # "\t<vma>\t <hint>  <name>" or an import by number "\t<vma>\t <ordinal>  <none>".
        parts = line.split("\t")
        if len(parts) >= 3 and re.fullmatch(r"[0-9a-f]+", parts[1].strip()):
            fields = parts[2].split()
            if len(fields) >= 2:
                current.add(fields[1] if fields[1] != "<none>" else "#" + fields[0])
    return imports


def problems(imports):
    found = []
    for dll, functions in sorted(imports.items()):
        if dll not in XP_DLLS:
            found.append("%s is not a Windows XP DLL" % dll)
            continue
        newer = {f for f in functions if f in NEWER_FUNCTIONS.get(dll, set())}
        if dll == "msvcrt.dll":
            newer |= {f for f in functions if msvcrt_is_newer(f)}
        for f in sorted(newer):
            found.append("%s!%s is newer than Windows XP" % (dll, f))
    return found


def binaries(build_dir):
    for root, dirs, files in os.walk(build_dir):
        # The compiler checks' programs and Wine's own files are not ours.
        # Wine prefixes (a folder holding system.reg) are left out wherever
        # they are, such as the window tests' seeded prefix.
        dirs[:] = [d for d in dirs if d != "CMakeFiles" and not d.startswith("wineprefix")
                   and not os.path.exists(os.path.join(root, d, "system.reg"))]
        for name in files:
            if name.lower().endswith((".exe", ".dll")):
                yield os.path.join(root, name)


def check(objdump, build_dir):
    paths = sorted(binaries(build_dir))
    if not paths:
        print("FAIL no .exe or .dll below %s" % build_dir)
        return 1
    failed = False
    for path in paths:
        text = subprocess.run([objdump, "-p", path], check=True, capture_output=True,
                              text=True).stdout
        imports = parse_imports(text)
        listing = ", ".join("%s (%d)" % (dll, len(f)) for dll, f in sorted(imports.items()))
        print("%s: %s" % (os.path.relpath(path, build_dir), listing))
        for dll, functions in sorted(imports.items()):
            print("    %s: %s" % (dll, " ".join(sorted(functions))))
        for p in problems(imports):
            print("FAIL %s: %s" % (os.path.relpath(path, build_dir), p))
            failed = True
    print("%d binaries checked" % len(paths))
    return 1 if failed else 0


SAMPLE = """
The Import Tables (interpreted .idata section contents)
\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t1b3930\t  120  CreateThread
\t1b3940\t  321  GetTickCount64
\t1b3950\t  400  InitializeSRWLock

\tDLL Name: msvcrt.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t1b4000\t   20  memcpy
\t1b4010\t   21  strcpy_s
\t1b4020\t   22  _strtoui64

\tDLL Name: api-ms-win-core-synch-l1-2-0.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t1b5000\t    3  WaitOnAddress

\tDLL Name: COMCTL32.DLL
\tvma:  Hint/Ord Member-Name Bound-To
\t1b6000\t   17  <none>
"""


def self_test():
    imports = parse_imports(SAMPLE)
    expected = {
        "kernel32.dll": {"CreateThread", "GetTickCount64", "InitializeSRWLock"},
        "msvcrt.dll": {"memcpy", "strcpy_s", "_strtoui64"},
        "api-ms-win-core-synch-l1-2-0.dll": {"WaitOnAddress"},
        "comctl32.dll": {"#17"},
    }
    failures = []
    if imports != expected:
        failures.append("parsed %r" % imports)
    found = problems(imports)
    wanted = [
        "api-ms-win-core-synch-l1-2-0.dll is not a Windows XP DLL",
        "kernel32.dll!GetTickCount64 is newer than Windows XP",
        "kernel32.dll!InitializeSRWLock is newer than Windows XP",
        "msvcrt.dll!strcpy_s is newer than Windows XP",
    ]
    if found != wanted:
        failures.append("problems %r" % found)
    if problems({"kernel32.dll": {"CreateThread"}, "comctl32.dll": {"#17"}}):
        failures.append("XP functions reported")
    for f in failures:
        print("FAIL", f)
    print("self-test", "failed" if failures else "passed")
    return 1 if failures else 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(check(sys.argv[1], sys.argv[2]))
