#!/usr/bin/env python3
"""Runs quillmend-scan as a user would and checks its output and exit status.

usage: cli_test.py CASE --scan PROGRAM --source REPO --work DIR [--emulator CMD]

Cases run natively: demo-json, demo-text, categories, bad-input,
file-options, ignore-file. Cases run with the Windows build under Wine (--emulator is the
Wine runner): wine-demo, wine-layout, fresh-prefix, wine-existence, and
fresh-prefix-win64 in the 64-bit prefix that CTest names (QM_WINEPREFIX,
QM_WINEARCH).
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from script_checks import Failure, check, wine_path  # noqa: E402

ROW_TEXTS = {
    1: "COM/ActiveX Entries",
    2: "Uninstall Entries",
    3: "Font Entries",
    4: "Shared DLLs",
    5: "Application Paths",
    6: "Help Files Information",
    7: "Windows Startup Items",
    8: "File/Path Reference",
}


class Scanner:
    def __init__(self, program, emulator, env=None, cwd=None):
        self.command = ([emulator] if emulator else []) + [program]
        self.env = env
        self.cwd = cwd

    def run(self, *args):
        result = subprocess.run(self.command + list(args), capture_output=True, env=self.env,
                                cwd=self.cwd, timeout=900)
        return (result.returncode, result.stdout.decode("utf-8", "replace"),
                result.stderr.decode("utf-8", "replace"))

    def scan_json(self, *args):
        code, out, err = self.run(*args, "--json")
        check(code == 0, f"exit status {code} for {list(args)}; stderr:\n{err}")
        try:
            result = json.loads(out)
        except json.JSONDecodeError as e:
            raise Failure(f"output is not JSON ({e}):\n{out[:2000]}")
        check_shape(result)
        return result


def check_shape(result):
    """The JSON form: total, counts 1..8, items whose counts add up, and the
    count the ignore list left out. Every item says what was checked for it,
    and each of those targets was missing."""
    check(set(result) == {"total", "counts", "items", "ignored"},
          f"unexpected keys {sorted(result)}")
    check(isinstance(result["ignored"], int) and result["ignored"] >= 0,
          f"ignored: {result['ignored']}")
    counts = result["counts"]
    check(sorted(counts) == [str(c) for c in range(1, 9)], f"counts has keys {sorted(counts)}")
    items = result["items"]
    check(result["total"] == len(items) == sum(counts.values()),
          f"total {result['total']}, {len(items)} items, counts add up to {sum(counts.values())}")
    for c in range(1, 9):
        n = sum(1 for item in items if item["category"] == c)
        check(n == counts[str(c)], f"category {c}: count {counts[str(c)]} but {n} items")
    last = 0
    for item in items:
        check(set(item) == {"category", "keyPath", "valueName", "data", "detail", "checked"},
              f"item with keys {sorted(item)}")
        check(item["checked"] and all(set(c) == {"target", "answer"} and c["answer"] == "missing"
                                      for c in item["checked"]),
              f"checked of {item['valueName']}: {item['checked']}")
        check(item["category"] >= last, "items are not in category order")
        last = item["category"]
        check(item["keyPath"][:5] in ("HKCR\\", "HKLM\\", "HKCU\\", "HKUS\\"),
              f"key path without a root prefix: {item['keyPath']}")
        check(item["detail"].strip() != "", f"empty detail for {item}")


def tested_text(item):
    """What the scanner made of the entry's text before testing it: the
    expanded path, the folder and file joined, the referenced key."""
    c, data, name = item["category"], item["data"], item["valueName"]
    if c == 1 and name in ("AppID", "{Default}"):
        return ("HKCR\\AppID\\" if name == "AppID" else "HKCR\\CLSID\\") + data
    if c == 3:
        return data if data[1:3] == ":\\" else "\\" + data
    if c == 4:
        return name
    if c == 6:
        return data.rstrip("\\") + "\\" + name
    return data.lstrip('"')


def check_checked(result, what):
    """Each item's targets include the text it was tested as (for a File/Path
    item a leading part of its text, or all of it, which it was cut to)."""
    for item in result["items"]:
        targets = [c["target"] for c in item["checked"]]
        text = tested_text(item)
        if item["category"] == 8:
            ok = all(item["data"].startswith(t.removesuffix(".exe")) for t in targets)
        elif item["category"] == 3 and text.startswith("\\"):
            ok = any(t.endswith(text) for t in targets)
        else:
            # a bare name is searched for in folders
            ok = text in targets or ("\\" not in text and
                                     any(t.endswith("\\" + text) for t in targets))
        check(ok, f"{what}: {item['valueName']!r} was tested as {targets}, not as {text!r}")


def rows(result):
    return [[i["category"], i["keyPath"], i["valueName"], i["data"]] for i in result["items"]]


def expect_rows(actual, expected, what):
    if actual == expected:
        return
    missing = [r for r in expected if r not in actual]
    extra = [r for r in actual if r not in expected]
    lines = [f"{what}: found items differ from the expected list"]
    lines += ["  missing: " + json.dumps(r) for r in missing]
    lines += ["  not expected: " + json.dumps(r) for r in extra]
    if not missing and not extra:
        lines.append("  (same items, different order)")
    raise Failure("\n".join(lines))


def load_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


# --- native cases -----------------------------------------------------------


def demo_args(opts):
    demo = os.path.join(opts.source, "demo")
    return ["--registry", os.path.join(demo, "registry.reg"),
            "--drive", "C=" + os.path.join(demo, "drive_c")]


def case_demo_json(opts, scanner):
    """Every broken demo entry is found, in list order, and nothing else."""
    expected = load_json(os.path.join(opts.here, "demo_expected.json"))
    result = scanner.scan_json(*demo_args(opts))
    expect_rows(rows(result), expected, "demo")
    for c in range(1, 9):
        check(result["counts"][str(c)] > 0, f"the demo has no broken entry in category {c}")
    check(result["ignored"] == 0, f"ignored {result['ignored']} without an ignore list")
    check_checked(result, "demo")

    # Each category's own way of testing, in full.
    checked = {(i["category"], i["valueName"], i["data"]): [c["target"] for c in i["checked"]]
               for i in result["items"]}
    common = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\"
    draft = "C:\\Documents and Settings\\User\\My Documents\\old draft.qpd"
    table = {
        # the class key a ProgID names
        (1, "{Default}", "{B0E5D0A1-0003-4C0F-8E5B-00000000B003}"):
            ["HKCR\\CLSID\\{B0E5D0A1-0003-4C0F-8E5B-00000000B003}"],
        # the command cut after its program, the quote gone
        (5, "gonetool.exe", '"C:\\Program Files\\Gone Toolbar\\gonetool.exe'):
            ["C:\\Program Files\\Gone Toolbar\\gonetool.exe"],
        # the font in the Fonts folder
        (3, "Gone Script (TrueType)", "gonescr.ttf"): ["C:\\WINDOWS\\Fonts\\gonescr.ttf"],
        # the value name as written
        (4, "C:\\Program Files\\Gone Toolbar\\gonebar.dll", ""):
            ["C:\\Program Files\\Gone Toolbar\\gonebar.dll"],
        # folder and file joined
        (6, "oldgame.hlp", "C:\\WINDOWS\\Help"): ["C:\\WINDOWS\\Help\\oldgame.hlp"],
        # the common and the user's Programs folder
        (7, "Old Games", common + "Old Games"):
            [common + "Old Games", "C:\\Documents and Settings\\User\\Start Menu\\Programs\\Old Games"],
        # every part before a blank, as it is and as a program
        (8, "File2", draft): [t for p in ("C:\\Documents", "C:\\Documents and",
                                          "C:\\Documents and Settings\\User\\My",
                                          "C:\\Documents and Settings\\User\\My Documents\\old",
                                          draft) for t in (p, p + ".exe")],
        # the arguments after the program are never a file name
        (8, "UninstallString", "C:\\Games\\OldGame\\unwise.exe C:\\Games\\OldGame\\install.log"):
            ["C:\\Games\\OldGame\\unwise.exe", "C:\\Games\\OldGame\\unwise.exe.exe"],
    }
    for key, targets in table.items():
        check(checked.get(key) == targets, f"{key}: checked {checked.get(key)}, expected {targets}")


def case_demo_text(opts, scanner):
    """No arguments at all: the demo, as a readable report."""
    expected = load_json(os.path.join(opts.here, "demo_expected.json"))
    code, out, err = scanner.run()
    check(code == 0, f"exit status {code}; stderr:\n{err}")
    for c, row in ROW_TEXTS.items():
        n = sum(1 for r in expected if r[0] == c)
        check(f"{row}: {n} Problems Found\n" in out, f"no line '{row}: {n} Problems Found'")
    check(out.rstrip().endswith(f"Total: {len(expected)} problems found"), "no total line")
    # Each item's detail text is there, indented under its category, with
    # one line per target checked.
    details = scanner.scan_json(*demo_args(opts))["items"]
    for item in details:
        lines = item["detail"].split("\n")
        block = "  - " + "\n    ".join(lines) + "".join(
            f"\n    Checked: {c['target']} ({c['answer']})" for c in item["checked"]) + "\n"
        check(block in out, f"detail or checked lines missing from the report:\n{block}")
    check("Ignored:" not in out, "an ignored count without an ignore list")


def case_categories(opts, scanner):
    """--categories scans only the chosen categories, always in order 1 to 8."""
    expected = load_json(os.path.join(opts.here, "demo_expected.json"))
    for chosen, text in (([3, 7], "7,3,3"), ([8], "8"), ([1, 2, 4, 5, 6], "6,5,4,2,1")):
        result = scanner.scan_json(*demo_args(opts), "--categories", text)
        expect_rows(rows(result), [r for r in expected if r[0] in chosen], "--categories " + text)
        for c in range(1, 9):
            if c not in chosen:
                check(result["counts"][str(c)] == 0, f"--categories {text}: category {c} counted")

    code, out, err = scanner.run(*demo_args(opts), "--categories", "2")
    check(code == 0, f"exit status {code}; stderr:\n{err}")
    for c, row in ROW_TEXTS.items():
        wanted = f"{row}: 2 Problems Found" if c == 2 else f"{row}: not scanned"
        check(wanted in out, f"no line '{wanted}' in the text report")


def case_bad_input(opts, scanner):
    """Bad arguments and unusable input: exit 2, a message, nothing on stdout."""
    work = opts.work
    good = os.path.join(opts.source, "demo", "registry.reg")
    malformed = os.path.join(work, "malformed.reg")
    with open(malformed, "w", encoding="ascii") as f:
        f.write('REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"a"="b"\n"c"=hex:1,zz\n')
    not_registry = os.path.join(work, "notes.txt")
    with open(not_registry, "w", encoding="ascii") as f:
        f.write("just some notes\n")
    missing = os.path.join(work, "no-such-file.reg")
    no_folder = os.path.join(work, "no-such-folder")

    cases = [
        (["--bogus"], 'unknown argument "--bogus"'),
        (["--registry"], "--registry needs a value"),
        (["--registry", good, "--json", "extra"], 'unknown argument "extra"'),
        (["--categories", "9"], "--categories wants numbers from 1 to 8"),
        (["--categories", "0"], "--categories wants"),
        (["--categories", "1,,2"], "--categories wants"),
        (["--categories", "12"], "--categories wants"),
        (["--categories", ""], "--categories wants"),
        (["--drive", "C"], "--drive wants LETTER=FOLDER"),
        (["--drive", "CD=" + work], "--drive wants"),
        (["--drive", "1=" + work], "--drive wants"),
        (["--drive", "C="], "--drive wants"),
        (["--env", "NOVALUE"], "--env wants NAME=VALUE"),
        (["--env", "=x"], "--env wants"),
        (["--registry", missing], missing + ": cannot open the file"),
        (["--registry", malformed], malformed + ": line 5:"),
        (["--registry", not_registry], not_registry + ": line 1: not a registry file"),
        (["--registry", work], work + ": is a folder"),
        # A later unusable file spoils the whole run, not just itself.
        (["--registry", good, "--registry", missing], missing + ": cannot open the file"),
        (["--registry", good, "--drive", "C=" + no_folder], no_folder),
        (["--json"], "no live registry"),
    ]
    for args, message in cases:
        code, out, err = scanner.run(*args)
        check(code == 2, f"{args}: exit status {code}, expected 2")
        check(message in err, f"{args}: stderr does not say '{message}':\n{err}")
        check(out == "", f"{args}: printed on stdout:\n{out}")


def case_file_options(opts, scanner):
    """--drive, --env, --search-path and --cwd reach the file probe."""
    work = opts.work
    c_drive = os.path.join(work, "c")
    d_drive = os.path.join(work, "d")
    for path in ("WINDOWS/system32", "Tools", "Apps"):
        os.makedirs(os.path.join(c_drive, path), exist_ok=True)
    os.makedirs(d_drive, exist_ok=True)
    open(os.path.join(c_drive, "Tools", "tool.exe"), "w").close()
    open(os.path.join(d_drive, "other.exe"), "w").close()
    registry = os.path.join(work, "options.reg")
    app_paths = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"
    with open(registry, "w", encoding="ascii") as f:
        f.write("REGEDIT4\n\n")
        for name, command in (("bare.exe", "tool.exe"),
                              ("env.exe", "%QMTOOLS%\\\\tool.exe"),
                              ("relative.exe", "Tools\\\\tool.exe"),
                              ("other.exe", "D:\\\\other.exe"),
                              ("dgone.exe", "D:\\\\gone.exe")):
            f.write(f'[{app_paths}\\{name}]\n@="{command}"\n\n')

    def found(*extra):
        result = scanner.scan_json("--registry", registry, "--drive", "c=" + c_drive,
                                   "--categories", "5", *extra)
        return sorted(item["valueName"] for item in result["items"])

    everything = ["--search-path", "C:\\Tools", "--env", "QMTOOLS=C:\\Tools",
                  "--drive", "D=" + d_drive]
    table = [
        # A bare name is looked for on the search path only, never in the
        # current folder; an unset variable stays unexpanded; the relative
        # path is completed against the default current folder C:\. What
        # lies on a drive that is not mapped cannot be checked and is never
        # reported.
        ([], ["bare.exe", "env.exe"]),
        (everything, ["dgone.exe"]),
        (["--search-path", "C:\\Tools"], ["env.exe"]),
        (["--env", "QMTOOLS=C:\\Tools"], ["bare.exe"]),
        (["--drive", "D=" + d_drive], ["bare.exe", "dgone.exe", "env.exe"]),
        (everything + ["--cwd", "C:\\Apps"], ["dgone.exe", "relative.exe"]),
        (["--cwd", "C:\\Tools"], ["bare.exe", "env.exe", "relative.exe"]),
        # PATH may be replaced as a whole with --env.
        (["--env", "PATH=C:\\Tools"], ["env.exe"]),
    ]
    for extra, expected in table:
        actual = found(*extra)
        check(actual == expected, f"{extra}: reported {actual}, expected {expected}")

    # A bare name was looked for in each folder of the search path in turn;
    # a variable that is not set was tested as written.
    result = scanner.scan_json("--registry", registry, "--drive", "c=" + c_drive,
                               "--categories", "5", "--search-path", "C:\\Apps")
    checked = {i["valueName"]: [c["target"] for c in i["checked"]] for i in result["items"]}
    folders = ["C:\\WINDOWS\\system32", "C:\\WINDOWS\\System", "C:\\WINDOWS",
               "C:\\WINDOWS\\system32", "C:\\WINDOWS", "C:\\WINDOWS\\system32\\Wbem", "C:\\Apps"]
    expected = {"bare.exe": [f + "\\tool.exe" for f in folders],
                "env.exe": ["%QMTOOLS%\\tool.exe"]}
    check(checked == expected, f"checked {checked}, expected {expected}")


def case_ignore_file(opts, scanner):
    """--ignore-file leaves out what its entries name, counted as ignored,
    exactly as the same entries stored in the program's settings do; a bad
    line stops the run before anything is scanned."""
    expected = load_json(os.path.join(opts.here, "demo_expected.json"))
    uninstall = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
    lines = [
        "# one item, and a key with its subkeys' items in every category",
        "3\tHKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts\tGone Script (TrueType)",
        "*\tHKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
        "",
    ]
    hidden = [r for r in expected
              if (r[0] == 3 and r[2] == "Gone Script (TrueType)") or r[1].startswith(uninstall)]
    check(len(hidden) == 5 and sum(r[0] == 8 for r in hidden) == 2, f"the demo changed: {hidden}")
    kept = [r for r in expected if r not in hidden]

    listing = os.path.join(opts.work, "ignore.txt")
    with open(listing, "w", encoding="utf-8", newline="\r\n") as f:
        f.write("\n".join(lines))
    by_file = scanner.scan_json(*demo_args(opts), "--ignore-file", listing)
    expect_rows(rows(by_file), kept, "--ignore-file")
    check(by_file["ignored"] == len(hidden), f"ignored {by_file['ignored']}")
    code, out, err = scanner.run(*demo_args(opts), "--ignore-file", listing)
    check(code == 0 and f"Ignored: {len(hidden)} items" in out, f"exit {code}, text:\n{out}")

    # The same entries as the program stores them.
    stored = os.path.join(opts.work, "stored.reg")
    with open(stored, "w", encoding="ascii") as f:
        f.write("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmend\\Ignore]\n")
        for n, line in enumerate(l for l in lines if l and not l.startswith("#")):
            f.write('"%d"="%s"\n' % (n + 1, line.replace("\\", "\\\\").replace("\t", "\t")))
    demo = demo_args(opts)
    by_store = scanner.scan_json(*demo[:2], "--registry", stored, *demo[2:])
    check(by_store == by_file, "the stored list gives another result than --ignore-file")

    for body, message in (("3\tHKLM\\X\tv\n9\tHKLM\\X\n", "line 2: the category"),
                          ("3 HKLM\\X\n", "line 1: wants a category")):
        with open(listing, "w", encoding="utf-8") as f:
            f.write(body)
        code, out, err = scanner.run(*demo, "--ignore-file", listing)
        check(code == 2 and listing + ": " + message in err and out == "",
              f"{body!r}: exit {code}, stderr:\n{err}")


# --- cases under Wine -------------------------------------------------------


def case_wine_demo(opts, scanner):
    """The demo under Wine: the live file system stands in for drive_c, so
    more is reported, but every broken demo entry is among it."""
    code, out, err = scanner.run()
    check(code == 0, f"no arguments: exit status {code}; stderr:\n{err}")
    check("Total: " in out, "no arguments: no report")
    registry = wine_path(os.path.join(opts.source, "demo", "registry.reg"))
    result = scanner.scan_json("--registry", registry)
    found = rows(result)
    for row in load_json(os.path.join(opts.here, "demo_expected.json")):
        check(row in found, "broken demo entry not found under Wine: " + json.dumps(row))
    code, out, err = scanner.run("--registry", registry, "--drive", "C=" + opts.work)
    check(code == 2 and "--drive" in err, f"--drive on Windows: exit {code}, stderr:\n{err}")


def case_wine_layout(opts, scanner):
    """Entries written for Wine's own C:\\windows layout, against the live
    file system: exactly the broken ones are reported."""
    registry = wine_path(os.path.join(opts.here, "wine_layout.reg"))
    result = scanner.scan_json("--registry", registry)
    expect_rows(rows(result), load_json(os.path.join(opts.here, "wine_layout_expected.json")),
                "Wine layout")
    check_checked(result, "Wine layout")


def case_fresh_prefix(opts, scanner):
    """The live registry of a Wine prefix that nothing but Wine's own set-up
    has written to: exactly the reviewed list of broken entries."""
    reviewed = load_json(os.path.join(opts.here, "fresh_wine_prefix.json"))["items"]
    result = scanner.scan_json()
    expect_rows(rows(result), [[i["category"], i["keyPath"], i["valueName"], i["data"]]
                               for i in reviewed], "fresh Wine prefix")


def case_fresh_prefix_win64(opts, scanner):
    """The same on a 64-bit prefix: a 32-bit program there sees both
    registry views and both System32 folders, and reports exactly the
    reviewed list, nothing that only the other view would find."""
    reviewed = load_json(os.path.join(opts.here, "fresh_wine_prefix_win64.json"))["items"]
    result = scanner.scan_json()
    expect_rows(rows(result), [[i["category"], i["keyPath"], i["valueName"], i["data"]]
                               for i in reviewed], "fresh 64-bit Wine prefix")


def case_wine_existence(opts, scanner):
    """Run values whose program cannot be checked are left alone: a drive
    letter that names nothing, one whose folder is gone (as when removable
    media were taken out), a server that does not answer. A program whose
    path is longer than the ANSI functions take is found. Only the truly
    missing program is reported. The prefix is the case's own."""
    prefix = opts.env["QM_WINEPREFIX"]
    code, _, err = scanner.run("--help")  # makes the prefix on first use
    check(code == 0, f"--help: exit {code}; stderr:\n{err}")
    dosdevices = os.path.join(prefix, "dosdevices")
    taken = {name.lower() for name in os.listdir(dosdevices)}
    free = [c for c in "qrstuvwxy" if c + ":" not in taken]
    check(len(free) >= 2, f"no free drive letters in {sorted(taken)}")
    unmapped, gone = free[0].upper(), free[1]
    link = os.path.join(dosdevices, gone + ":")
    os.symlink(os.path.join(opts.work, "removed-media"), link)
    try:
        check_existence(opts, scanner, prefix, unmapped, gone.upper())
    finally:
        os.unlink(link)


def check_existence(opts, scanner, prefix, unmapped, gone):
    deep = "C:\\QmLong"
    while len(deep) < 312:
        deep += "\\folder of a deep install"
    long_program = deep + "\\app.exe"
    check(len(long_program) >= 320, "the long path is too short")
    host = os.path.join(prefix, "drive_c", *long_program[3:].split("\\"))
    os.makedirs(os.path.dirname(host), exist_ok=True)
    open(host, "w").close()

    values = {
        "QmUnmapped": unmapped + ":\\Tools\\app.exe",
        "QmRemoved": gone + ":\\Portable\\app.exe",
        "QmUnc": "\\\\nosuchserver\\share\\app.exe",
        "QmLong": long_program,
        "QmGone": "C:\\nowhere\\gone.exe",
    }
    run_key = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
    reg = os.path.join(opts.work, "run.reg")
    with open(reg, "w", encoding="ascii", newline="\r\n") as f:
        f.write(f"REGEDIT4\n\n[HKEY_CURRENT_USER\\{run_key}]\n")
        for name, command in values.items():
            f.write('"%s"="%s"\n' % (name, command.replace("\\", "\\\\")))
    result = subprocess.run([opts.emulator, "regedit", "/s", wine_path(reg)], env=opts.env,
                            cwd=opts.work, capture_output=True, timeout=900)
    check(result.returncode == 0, f"regedit /s: exit {result.returncode}")
    ignore_key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillmend\\Ignore"

    def forget_ignored():  # the prefix is kept from run to run
        subprocess.run([opts.emulator, "reg", "delete", ignore_key, "/f"], env=opts.env,
                       cwd=opts.work, capture_output=True, timeout=900)
    forget_ignored()
    found = rows(scanner.scan_json("--categories", "7"))
    expect_rows(found, [[7, "HKCU\\" + run_key, "QmGone", values["QmGone"]]], "existence")

    # The live scan honours the ignore list that the program keeps.
    ignore = os.path.join(opts.work, "ignore.reg")
    with open(ignore, "w", encoding="ascii", newline="\r\n") as f:
        f.write(f"REGEDIT4\n\n[{ignore_key}]\n")
        f.write('"1"="7\t%s\tQmGone"\n' % ("HKCU\\" + run_key).replace("\\", "\\\\"))
    result = subprocess.run([opts.emulator, "regedit", "/s", wine_path(ignore)], env=opts.env,
                            cwd=opts.work, capture_output=True, timeout=900)
    check(result.returncode == 0, f"regedit /s: exit {result.returncode}")
    try:
        result = scanner.scan_json("--categories", "7")
        expect_rows(rows(result), [], "existence, QmGone ignored")
        check(result["ignored"] == 1, f"ignored {result['ignored']}, expected 1")
    finally:
        forget_ignored()


CASES = {
    "demo-json": case_demo_json,
    "demo-text": case_demo_text,
    "categories": case_categories,
    "bad-input": case_bad_input,
    "file-options": case_file_options,
    "ignore-file": case_ignore_file,
    "wine-demo": case_wine_demo,
    "wine-layout": case_wine_layout,
    "fresh-prefix": case_fresh_prefix,
    "fresh-prefix-win64": case_fresh_prefix_win64,
    "wine-existence": case_wine_existence,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--scan", required=True, help="the quillmend-scan program")
    parser.add_argument("--source", required=True, help="the source tree")
    parser.add_argument("--work", required=True, help="a scratch folder for this case")
    parser.add_argument("--emulator", help="runs the Windows program (cmake/wine-run.sh)")
    opts = parser.parse_args()
    opts.here = os.path.dirname(os.path.abspath(__file__))

    os.makedirs(opts.work, exist_ok=True)
    env = dict(os.environ)
    if opts.case in ("fresh-prefix", "wine-existence"):
        # A prefix of its own, made by the runner on first use; the fresh
        # prefix is only ever read afterwards.
        env["QM_WINEPREFIX"] = os.path.join(opts.work, "wineprefix")
    scratch = tempfile.mkdtemp(dir=opts.work)
    try:
        opts.work = scratch
        opts.env = env
        scanner = Scanner(opts.scan, opts.emulator, env=env, cwd=scratch)
        CASES[opts.case](opts, scanner)
    except Failure as failure:
        print(f"FAILED {opts.case}: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"passed {opts.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
