#!/usr/bin/env python3
"""quillmend-scan --fix, --restore and --save on the demo, as a user runs them.

usage: fix_restore_test.py CASE --scan PROGRAM --source REPO --work DIR [--emulator CMD]

fix-restore (native): the demo registry in memory. Fix deletes exactly the
entries found, writes one backup file, and restoring that file gives back the
demo registry exactly.

wine-fix-restore (Windows build under Wine, a Wine prefix of its own): the
demo imported into the live registry; Fix on the live registry, then
--restore through regedit.exe, and the exported registry is as before (the
backup is then deleted); a backup that regedit imports only in part fails
the restore, which names what is missing and keeps the file.

views (native) and wine64-views (Windows build in the shared 64-bit Wine
prefix that CTest names): broken Run and Uninstall entries of 64-bit and of
32-bit programs, each in its own registry view (under Wine written by the
64-bit reg.exe), are found by their own key paths, fixed and restored into
the same view; the Startup Manager lists and switches the Run values of
both views, and its records are where the 64-bit System Configuration
Utility reads them.
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


def run(command, env=None, cwd=None):
    result = subprocess.run(command, capture_output=True, env=env, cwd=cwd, timeout=900)
    return (result.returncode, result.stdout.decode("utf-8", "replace"),
            result.stderr.decode("utf-8", "replace"))


# --- registry text files, read into {key: {value name: (type, bytes)}} -------

TEXT_TYPES = (1, 2, 7)


def unquote(text, i):
    """The quoted text starting after the quote at text[i - 1]; returns it and
    the index after the closing quote."""
    out = []
    while i < len(text):
        c = text[i]
        i += 1
        if c == '"':
            return "".join(out), i
        if c == "\\" and i < len(text):
            c = {"n": "\n", "r": "\r", "0": "\0"}.get(text[i], text[i])
            i += 1
        out.append(c)
    raise Failure("unterminated quoted text: " + text)


def read_reg(path):
    """Keys (lower case, HKEY_CLASSES_ROOT as machine classes) to values
    (lower-case names) as the ANSI registry functions see them."""
    with open(path, "rb") as f:
        data = f.read()
    wide = data.startswith(b"\xff\xfe")
    text = data[2:].decode("utf-16-le") if wide else data.decode("cp1252")
    lines = text.replace("\r\n", "\n").split("\n")
    check(lines[0].strip() in ("REGEDIT4", "Windows Registry Editor Version 5.00"),
          f"{path}: no header")
    keys, current, pending = {}, None, ""
    for raw in lines[1:]:
        line = pending + raw.lstrip() if pending else raw
        if line.endswith("\\") and not line.startswith("["):
            pending = line[:-1]
            continue
        pending = ""
        if not line.strip() or line.startswith(";"):
            continue
        if line.startswith("["):
            name = line[1:line.rindex("]")]
            if name.upper().startswith("HKEY_CLASSES_ROOT"):
                name = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes" + name[len("HKEY_CLASSES_ROOT"):]
            current = keys.setdefault(name.lower(), {})
            continue
        if line.startswith("@"):
            name, i = "", 1
        else:
            name, i = unquote(line, 1)
        rest = line[i:].strip()
        check(rest.startswith("="), f"{path}: bad value line {line!r}")
        rest = rest[1:].strip()
        if rest.startswith('"'):
            value, _ = unquote(rest, 1)
            current[name.lower()] = (1, value.encode("cp1252", "replace") + b"\0")
        elif rest.startswith("dword:"):
            current[name.lower()] = (4, int(rest[6:], 16).to_bytes(4, "little"))
        else:
            prefix, _, listed = rest.partition(":")
            kind = 3 if prefix == "hex" else int(prefix[4:-1], 16)
            raw_bytes = bytes(int(b, 16) for b in listed.split(",") if b.strip())
            if wide and kind in TEXT_TYPES:
                raw_bytes = raw_bytes.decode("utf-16-le").encode("cp1252", "replace")
            current[name.lower()] = (kind, raw_bytes)
    return keys


def without_settings(keys):
    return {k: v for k, v in keys.items()
            if not k.startswith("hkey_local_machine\\software\\quillmend") and
            not k.startswith("hkey_local_machine\\software\\wow6432node\\quillmend")}


def describe_difference(want, got):
    lines = []
    for key in sorted(set(want) | set(got)):
        if key not in got:
            lines.append(f"  missing key {key}")
        elif key not in want:
            lines.append(f"  extra key {key}")
        elif want[key] != got[key]:
            for name in sorted(set(want[key]) | set(got[key])):
                if want[key].get(name) != got[key].get(name):
                    lines.append(f"  {key} value {name!r}: {want[key].get(name)} / "
                                 f"{got[key].get(name)}")
    return "\n".join(lines[:30])


ROOTS = {"HKCR": "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes", "HKLM": "HKEY_LOCAL_MACHINE",
         "HKCU": "HKEY_CURRENT_USER", "HKUS": "HKEY_USERS"}


def without_items(keys, items):
    """`keys` less what the found items stand for: key trees or values."""
    result = {k: dict(v) for k, v in keys.items()}
    for item in items:
        path = (ROOTS[item["keyPath"][:4]] + item["keyPath"][4:]).lower()
        category, name = item["category"], item["valueName"]
        is_key = category in (1, 2, 5) or (category == 7 and "menuorder\\" in path)
        if is_key:
            top = path if category == 1 else path + "\\" + name.lower()
            for key in [k for k in result if k == top or k.startswith(top + "\\")]:
                del result[key]
        elif path in result:
            result[path].pop(name.lower(), None)
    return result


# --- cases --------------------------------------------------------------------


def case_fix_restore(opts, scan):
    demo = os.path.join(opts.source, "demo")
    files = ["--drive", "C=" + os.path.join(demo, "drive_c")]
    work = opts.work
    backups = os.path.join(work, "Backup")
    empty = os.path.join(work, "empty.reg")
    with open(empty, "wb") as f:
        f.write(b"REGEDIT4\r\n")
    original = os.path.join(work, "original.reg")
    code, _, err = run(scan + ["--registry", os.path.join(demo, "registry.reg"),
                               "--restore", empty, "--save", original])
    check(code == 0, f"--restore of an empty file: exit {code}\n{err}")

    after = os.path.join(work, "after.reg")
    code, out, err = run(scan + ["--registry", original] + files +
                         ["--fix", "--backup-dir", backups, "--save", after, "--json"])
    check(code == 0, f"--fix: exit {code}\n{err}")
    found = json.loads(out)["items"]
    check(len(found) > 0, "--fix found nothing in the demo")
    listed = os.listdir(backups)
    check(len(listed) == 1, f"one backup file expected, found {listed}")
    backup = os.path.join(backups, listed[0])
    check(f"Backup file: {backup}\n" in err, f"the backup file's path is not printed:\n{err}")

    # Exactly the found entries are gone.
    want = without_items(without_settings(read_reg(original)), found)
    got = without_settings(read_reg(after))
    check(got == want, "after --fix, the registry is not the demo less the found entries:\n" +
          describe_difference(want, got))

    # The backup gives them back, exactly.
    restored = os.path.join(work, "restored.reg")
    code, _, err = run(scan + ["--registry", after, "--restore", backup, "--save", restored])
    check(code == 0, f"--restore: exit {code}\n{err}")
    want = without_settings(read_reg(original))
    got = without_settings(read_reg(restored))
    check(got == want, "the restored registry differs from the demo:\n" +
          describe_difference(want, got))

    for args, wanted in ((["--fix"], "--backup-dir"), (["--backup-dir", work], "--fix"),
                         (["--fix", "--backup-dir", work, "--restore", empty], "together"),
                         (["--restore", empty], "--registry")):
        code, _, err = run(scan + args)
        check(code == 2 and wanted in err, f"{args}: exit {code}, stderr:\n{err}")


def case_wine_fix_restore(opts, scan):
    wine = [opts.emulator]
    work = opts.work
    demo = wine_path(os.path.join(opts.source, "demo", "registry.reg"))
    code, _, err = run(wine + ["regedit", "/s", demo], env=opts.env, cwd=work)
    check(code == 0, f"importing the demo: exit {code}\n{err}")
    trees = ["HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Software", "HKEY_USERS\\.DEFAULT"]

    def export(tag):
        keys = {}
        for i, tree in enumerate(trees):
            path = os.path.join(work, f"{tag}-{i}.reg")
            code, _, err = run(wine + ["regedit", "/e", wine_path(path), tree], env=opts.env,
                               cwd=work)
            check(code == 0 and os.path.exists(path), f"regedit /e {tree}: exit {code}\n{err}")
            keys.update(read_reg(path))
        return without_settings(keys)

    # Asking the shell for a special folder, as the scan does, makes Wine
    # rewrite that folder's entry under Shell Folders: scan once first so
    # that the comparison sees only what Fix and Restore did.
    code, _, err = run(scan + ["--json"], env=opts.env, cwd=work)
    check(code == 0, f"scan: exit {code}\n{err}")
    before = export("before")
    backups = os.path.join(work, "Backup")
    os.makedirs(backups)
    code, out, err = run(scan + ["--fix", "--backup-dir", wine_path(backups), "--json"],
                         env=opts.env, cwd=work)
    check(code in (0, 1), f"--fix: exit {code}\n{err}")
    found = json.loads(out)["items"]
    demo_items = [i for i in found if "Gone" in i["keyPath"] or "Gone" in i["valueName"]]
    check(demo_items, "--fix found none of the demo's entries")
    listed = os.listdir(backups)
    check(len(listed) == 1, f"one backup file expected, found {listed}")
    fixed = export("fixed")
    check(fixed != before, "--fix changed nothing in the live registry")

    backup = os.path.join(backups, listed[0])
    code, _, err = run(scan + ["--restore", wine_path(backup)], env=opts.env, cwd=work)
    check(code == 0, f"--restore: exit {code}\n{err}")
    after = export("after")
    check(after == before, "after --restore the live registry differs:\n" +
          describe_difference(before, after))
    check(not os.path.exists(backup), "a backup that came back whole was kept")

    # A backup that the registry editor imports only in part: the prefix
    # keeps HKLM\HARDWARE volatile and refuses a lasting key below it. The
    # restore says so, fails and keeps the file for another try.
    partial = os.path.join(work, "partial.reg")
    with open(partial, "w", encoding="ascii", newline="\r\n") as f:
        f.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\QmPartialRestore]\n\"Back\"=\"yes\"\n\n"
                "[HKEY_LOCAL_MACHINE\\HARDWARE\\QmPartialRestore]\n\"Lost\"=\"no\"\n\n")
    code, _, err = run(scan + ["--restore", wine_path(partial)], env=opts.env, cwd=work)
    check(code == 1 and "line 6: HKEY_LOCAL_MACHINE\\HARDWARE\\QmPartialRestore is missing" in err
          and "kept" in err, f"--restore of a partly imported backup: exit {code}\n{err}")
    check(os.path.exists(partial), "a backup that did not come back whole was deleted")


RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run"
UNINSTALL = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL32 = "Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
RECORDS = "Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg"
# name: (key, value, data) of each view's broken entries.
VIEW_ENTRIES = {
    "QmViews64": (RUN, "QmViews64", "C:\\QmViewsGone\\app64.exe /tray"),
    "QmViews32": (RUN32, "QmViews32", "C:\\QmViewsGone\\app32.exe"),
    "QmViews Uninstall 64": (UNINSTALL + "\\QmViews64", "UninstallString",
                             "C:\\QmViewsGone\\uninst64.exe"),
    "QmViews Uninstall 32": (UNINSTALL32 + "\\QmViews32", "UninstallString",
                             "C:\\QmViewsGone\\uninst32.exe"),
}
EXPECTED_VIEW_ITEMS = sorted([
    [2, "HKLM\\" + UNINSTALL, "QmViews64", "C:\\QmViewsGone\\uninst64.exe"],
    [2, "HKLM\\" + UNINSTALL32, "QmViews32", "C:\\QmViewsGone\\uninst32.exe"],
    [7, "HKLM\\" + RUN, "QmViews64", "C:\\QmViewsGone\\app64.exe"],
    [7, "HKLM\\" + RUN32, "QmViews32", "C:\\QmViewsGone\\app32.exe"],
])


def view_items(out):
    """The found items of this case, key paths without regard to case."""
    items = [[i["category"], i["keyPath"].upper(), i["valueName"], i["data"]]
             for i in json.loads(out)["items"] if "QmViews" in i["keyPath"] + i["valueName"]]
    return sorted(items)


def expected_view_items():
    return sorted([c, k.upper(), n, d] for c, k, n, d in EXPECTED_VIEW_ITEMS)


def check_views(found, what):
    check(found == expected_view_items(), f"{what}: found {found}, expected {expected_view_items()}")


def switch_views(scan, registry_args, present):
    """Switches the two machine Run values off and on; `present(key, value)`
    tells what the registry holds after each step."""
    def rows(*args):
        code, out, err = scan(*registry_args(), "--startup", "--json", *args)
        check(code == 0, f"--startup {args}: exit {code}\n{err}")
        return [(r["name"], r["location"], r["enabled"]) for r in json.loads(out)]
    listed = rows()
    for row in (("QmViews64", "HKLM/Run", True), ("QmViews32", "HKLM/Run (32-bit)", True)):
        check(row in listed, f"{row} is not listed: {listed}")
    for name in ("QmViews64", "QmViews32"):
        number = [r[0] for r in listed].index(name) + 1
        listed = rows("--startup-off", str(number))
    record_keys = {"QmViews64": "Run", "QmViews32": RUN32.upper()}
    for name, key in record_keys.items():
        check(present(VIEW_ENTRIES[name][0], name) is None, f"{name} is still in its Run key")
        got = present(RECORDS + "\\" + name, "key")
        check(got is not None and got.upper() == key.upper(),
              f"the record of {name} names {got}, expected {key}")
    for name in ("QmViews64", "QmViews32"):
        number = [r[0] for r in listed].index(name) + 1
        listed = rows("--startup-on", str(number))
    for name in ("QmViews64", "QmViews32"):
        check(present(VIEW_ENTRIES[name][0], name) == VIEW_ENTRIES[name][2],
              f"{name} is not back in its Run key")
        check(present(RECORDS + "\\" + name, "key") is None, f"the record of {name} stayed")


def case_views(opts, scan):
    work = opts.work
    drive = os.path.join(work, "c")
    for folder in ("WINDOWS/system32", "WINDOWS/SysWOW64"):
        os.makedirs(os.path.join(drive, folder))
    state = [os.path.join(work, "state0.reg")]
    with open(state[0], "w", encoding="ascii") as f:
        f.write("REGEDIT4\n")
        for key, value, data in VIEW_ENTRIES.values():
            f.write(f'\n[HKEY_LOCAL_MACHINE\\{key}]\n"{value}"="{data.replace(chr(92), chr(92) * 2)}"\n')

    def step(*args):
        saved = os.path.join(work, f"state{len(state)}.reg")
        code, out, err = run(scan + ["--registry", state[-1], "--drive", "C=" + drive, "--save",
                                     saved] + list(args))
        if code in (0, 1):
            state.append(saved)
        return code, out, err

    code, out, err = step("--json", "--categories", "2,7")
    check(code == 0, f"scan: exit {code}\n{err}")
    check_views(view_items(out), "scan")
    before = read_reg(state[-1])
    backups = os.path.join(work, "Backup")
    code, out, err = step("--json", "--categories", "2,7", "--fix", "--backup-dir", backups)
    check(code == 0, f"--fix: exit {code}\n{err}")
    fixed = read_reg(state[-1])
    for key, value, _ in VIEW_ENTRIES.values():
        check(value.lower() not in fixed.get(("HKEY_LOCAL_MACHINE\\" + key).lower(), {}),
              f"--fix left {key} {value}")
    code, _, err = step("--restore", os.path.join(backups, os.listdir(backups)[0]))
    check(code == 0, f"--restore: exit {code}\n{err}")
    check(without_settings(read_reg(state[-1])) == without_settings(before),
          "the restored registry differs:\n" +
          describe_difference(without_settings(before), without_settings(read_reg(state[-1]))))

    def present(key, value):
        values = read_reg(state[-1]).get(("HKEY_LOCAL_MACHINE\\" + key).lower(), {})
        found = values.get(value.lower())
        return found[1].rstrip(b"\0").decode("cp1252") if found else None

    def scan_step(*args):
        return step(*args)
    switch_views(scan_step, lambda: [], present)


def case_wine64_views(opts, scan):
    wine = [opts.emulator]
    work = opts.work

    def reg(*args):
        return run(wine + ["reg"] + list(args), env=opts.env, cwd=work)

    def present(key, value):
        code, out, _ = reg("query", "HKLM\\" + key, "/v", value)
        if code != 0:
            return None
        for line in out.splitlines():
            parts = line.split(None, 2)
            if len(parts) == 3 and parts[0] == value and parts[1] == "REG_SZ":
                return parts[2].strip()
            if len(parts) >= 2 and parts[0] == value:
                return ""
        return None

    def cleanup():
        # Of both views, whichever a failed step left them in.
        for name in ("QmViews64", "QmViews32"):
            for key in (RUN, RUN32):
                reg("delete", "HKLM\\" + key, "/v", name, "/f")
            for key in (UNINSTALL, UNINSTALL32, RECORDS):
                reg("delete", "HKLM\\" + key + "\\" + name, "/f")

    cleanup()
    try:
        for key, value, data in VIEW_ENTRIES.values():
            code, _, err = reg("add", "HKLM\\" + key, "/v", value, "/d", data, "/f")
            check(code == 0, f"reg add {key} {value}: exit {code}\n{err}")

        def scan_run(*args):
            return run(scan + list(args), env=opts.env, cwd=work)

        code, out, err = scan_run("--json", "--categories", "2,7")
        check(code == 0, f"scan: exit {code}\n{err}")
        check_views(view_items(out), "scan")
        backups = os.path.join(work, "Backup")
        os.makedirs(backups)
        code, out, err = scan_run("--json", "--categories", "2,7", "--fix", "--backup-dir",
                                  wine_path(backups))
        check(code == 0, f"--fix: exit {code}\n{err}")
        check_views(view_items(out), "--fix")
        for key, value, _ in VIEW_ENTRIES.values():
            check(present(key, value) is None, f"--fix left {key} {value}")
        listed = os.listdir(backups)
        check(len(listed) == 1, f"one backup file expected, found {listed}")
        code, _, err = scan_run("--restore", wine_path(os.path.join(backups, listed[0])))
        check(code == 0, f"--restore: exit {code}\n{err}")
        for key, value, data in VIEW_ENTRIES.values():
            check(present(key, value) == data, f"{key} {value} is not back as it was")
        switch_views(scan_run, lambda: [], present)
    finally:
        cleanup()


CASES = {"fix-restore": case_fix_restore, "wine-fix-restore": case_wine_fix_restore,
         "views": case_views, "wine64-views": case_wine64_views}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--scan", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--emulator")
    opts = parser.parse_args()
    os.makedirs(opts.work, exist_ok=True)
    opts.env = dict(os.environ)
    scan = [opts.scan]
    if opts.case == "wine64-views":
        # The shared 64-bit prefix CTest names; the case leaves it as it was.
        scan = [opts.emulator, opts.scan]
    elif opts.emulator:
        # A Wine prefix of this case's own, made afresh each run: the case
        # writes the demo into its live registry.
        prefix = os.path.join(opts.work, "wineprefix")
        subprocess.run([opts.emulator, "--wineserver", "-k"], env=dict(opts.env,
                       QM_WINEPREFIX=prefix), capture_output=True)
        shutil.rmtree(prefix, ignore_errors=True)
        opts.env["QM_WINEPREFIX"] = prefix
        scan = [opts.emulator, opts.scan]
    scratch = tempfile.mkdtemp(dir=opts.work)
    try:
        opts.work = scratch
        CASES[opts.case](opts, scan)
    except Failure as failure:
        print(f"FAILED {opts.case}: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    print(f"passed {opts.case}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
