#!/usr/bin/env python3
"""quillmend-scan --startup-off N / --startup-on N, one run each, on the demo
registry with Startup-folder shortcuts added (the registry carried from run
to run with --save): one item of each kind of location, every shortcut and a
REG_EXPAND_SZ value are switched off and on again, after which the registry
and the Startup folders are as they were.

usage: startup_cli_test.py --scan PROGRAM --source REPO --work DIR [--emulator CMD]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys

SHELL = "Software\\Microsoft\\Windows\\CurrentVersion"
ADDED = """
[HKEY_CURRENT_USER\\{shell}\\Explorer\\Shell Folders]
"Startup"="{user}"
[HKEY_LOCAL_MACHINE\\{shell}\\Explorer\\Shell Folders]
"Common Startup"="{common}"
[HKEY_CURRENT_USER\\{shell}\\RunOnce]
"Once"="setup.exe /finish"
[HKEY_LOCAL_MACHINE\\{shell}\\RunOnce]
"Cleanup"="cleanup.exe"
[HKEY_CURRENT_USER\\{shell}\\Run]
"Expanding"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,78,2e,65,78,65,00
"""


def main():
    parser = argparse.ArgumentParser()
    for name in ("--scan", "--source", "--work", "--emulator"):
        parser.add_argument(name, required=name != "--emulator")
    opts = parser.parse_args()
    work = os.path.abspath(opts.work)
    drive = os.path.join(work, "c")
    shutil.rmtree(work, ignore_errors=True)
    fixtures = os.path.join(opts.source, "tests", "startup", "fixtures")
    for folder, links in (("Startup", {"Tool": "tool.lnk", "Notes": "notes.lnk"}),
                          ("Common", {"Sync": "unc.lnk"}), ("WINDOWS", {})):
        os.makedirs(os.path.join(drive, folder))
        for title, fixture in links.items():
            shutil.copy(os.path.join(fixtures, fixture), os.path.join(drive, folder, title + ".lnk"))

    # Natively drive C: is `drive`; under Wine the program sees host paths on Z:.
    def wine(path):
        return "Z:" + path.replace("/", "\\") if opts.emulator else path
    folder = (lambda name: wine(os.path.join(drive, name))) if opts.emulator else \
        (lambda name: "C:\\" + name)
    with open(os.path.join(opts.source, "demo", "registry.reg"), encoding="latin-1") as f:
        text = f.read() + ADDED.format(shell=SHELL, user=folder("Startup").replace("\\", "\\\\"),
                                       common=folder("Common").replace("\\", "\\\\"))
    with open(os.path.join(work, "state0.reg"), "w", encoding="latin-1") as f:
        f.write(text)

    def run(state, *args):
        command = ([opts.emulator] if opts.emulator else []) + [opts.scan, "--json", "--registry",
                                                                wine(f"{work}/state{state}.reg")]
        command += [] if opts.emulator else ["--drive", "C=" + drive]
        result = subprocess.run(command + ["--save", wine(f"{work}/state{state + 1}.reg")] +
                                list(args), capture_output=True, timeout=600)
        rows = json.loads(result.stdout or b"[]")
        return result.returncode, [(r["name"], r["command"], r["location"], r["enabled"])
                                   for r in rows], result.stderr.decode("latin-1")

    def snapshot(state):
        keys, key = {}, None  # a key's values come back last: compare them as sets
        with open(f"{work}/state{state}.reg", encoding="latin-1") as f:
            for line in f.read().splitlines():
                key = line if line.startswith("[") else key
                keys.setdefault(key, set()).add(line)
        files = {}
        for name in ("Startup", "Common"):
            for entry in os.listdir(os.path.join(drive, name)):
                with open(os.path.join(drive, name, entry), "rb") as f:
                    files[name + "/" + entry] = f.read()
        return keys, files

    problems = []
    code, rows, err = run(0, "--startup")  # state1: the demo as this program writes it
    for row in [("Tool", "C:\\Program Files\\Tool\\tool.exe /min --tray", "Start Menu", True),
                ("Notes", "C:\\Apps\\notes.exe ", "Start Menu", True),
                ("Sync", "\\\\server\\share\\dir\\app.exe -n", "Start Menu(Common)", True),
                ("Once", "setup.exe /finish", "HKCU/RunOnce", True),
                ("Cleanup", "cleanup.exe", "HKLM/RunOnce", True),
                ("Expanding", "%SystemRoot%\\x.exe", "HKCU/Run", True)]:
        if row not in rows:
            problems.append(f"{row} is not listed: {rows} {err}")
    before, state = snapshot(1), 1
    kinds = {}
    for row in rows:
        kinds.setdefault(row[2], row)
    chosen = [r for r in rows if r in kinds.values() or r[2].startswith("Start") or
              r[0] == "Expanding"]
    for on in (False, True):
        for name, command, where, _ in chosen:
            on_row, off_row = (name, command, where, True), (name, command, where.replace("/", "\\"), False)
            wanted, have = (on_row, off_row) if on else (off_row, on_row)
            number = rows.index(have) + 1 if have in rows else 0
            code, after, err = run(state, "--startup-on" if on else "--startup-off", str(number))
            if code != 0 or wanted not in after:
                problems.append(f"{name} at row {number}: exit {code}, {err.strip()}")
            else:
                rows, state = after, state + 1
        if not on and snapshot(state)[1]:
            problems.append(f"shortcuts left: {sorted(snapshot(state)[1])}")
    if snapshot(state) != before:
        problems.append(f"state1.reg and state{state}.reg or the Startup folders differ")
    pss = os.path.join(drive, "WINDOWS", "pss")
    if not opts.emulator and os.listdir(pss):
        problems.append(f"parked copies left: {os.listdir(pss)}")
    if run(state, "--startup-off", str(len(rows) + 1))[0] != 2:
        problems.append("a row past the end is not refused")
    if problems:
        sys.exit("\n".join(problems))
    print(f"{len(chosen)} of {len(rows)} items switched off and on again; nothing changed")


if __name__ == "__main__":
    main()
