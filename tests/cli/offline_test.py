#!/usr/bin/env python3
"""quillmend-scan --windows on a Windows-like folder tree whose hive files are
built (with hivex, through make_hive) from the demo's registry text.

usage: offline_test.py --scan PROGRAM --make-hive PROGRAM --source REPO --work DIR

- The offline scan finds exactly what the scan of a registry text file with
  the same content finds, in the same order, except that the user's hive,
  which the text holds twice, gives one item per entry; so does the
  startup list, and
  switching a startup item off changes both alike.
- --fix writes the hives (hivexml and hivexsh read them, the entries are
  gone), keeps the originals, and a new scan finds nothing; the backup, in
  REGEDIT4 for an XP installation, loaded over the repaired tree gives back
  the original tree.
- A hive with a pending log is scanned with a warning, and --fix refuses it.
- A modern installation's backup is a version 5 file.
- Profiles are found as NTFS names them (Windows-1252 in the registry, UTF-8
  on the host, case ignored), each folder once, none outside the tree; a
  startup item named outside ASCII is switched off and on.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fix_restore_test import Failure, check, describe_difference, read_reg, run  # noqa: E402

SID = "S-1-5-21-1-2-3-1000"
MACHINE = (
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion]\n"
    "\"CurrentVersion\"=\"{version}\"\n\"SystemRoot\"=\"C:\\\\WINDOWS\"\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\"
    + SID + "]\n\"ProfileImagePath\"=\"%SystemDrive%\\\\Documents and Settings\\\\User\"\n\n")
SYSTEM = (
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\Select]\n\"Current\"=dword:00000001\n\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\{set}\\Control\\Session Manager\\Environment]\n"
    "\"Path\"=\"%SystemRoot%\\\\system32;%SystemRoot%;%SystemRoot%\\\\System32\\\\Wbem\"\n\n")


def sections(text, prefix):
    """The [key] sections of registry text whose key starts with `prefix`."""
    out, keep = [], False
    for line in text.split("\n"):
        if line.startswith("["):
            keep = line[1:].upper().startswith(prefix.upper())
        if keep:
            out.append(line)
    return "\n".join(out) + "\n"


class Tree:
    """A Windows XP-like partition: the demo's drive, hives from the demo."""

    def __init__(self, opts, name, version, extra=""):
        self.opts = opts
        self.root = os.path.join(opts.work, name)
        shutil.copytree(os.path.join(opts.source, "demo", "drive_c"), self.root)
        with open(os.path.join(opts.source, "demo", "registry.reg"), encoding="cp1252") as f:
            demo = f.read().replace("\r\n", "\n")
        machine = MACHINE.format(version=version) + extra
        user = sections(demo, "HKEY_CURRENT_USER")
        # The same content as one registry text file, as the offline registry
        # shows it: the control set also as CurrentControlSet, the user's hive
        # also below HKEY_USERS.
        self.same = os.path.join(opts.work, name + ".reg")
        self.write(self.same, demo + "\n" + machine + SYSTEM.format(set="ControlSet001") +
                   SYSTEM.format(set="CurrentControlSet").split("\n\n", 1)[1] +
                   user.replace("[HKEY_CURRENT_USER", "[HKEY_USERS\\" + SID))
        self.config = os.path.join(self.root, "WINDOWS", "system32", "config")
        self.ntuser = os.path.join(self.root, "Documents and Settings", "User", "NTUSER.DAT")
        os.makedirs(self.config)
        self.hive("SOFTWARE", demo + "\n" + machine, "HKLM\\SOFTWARE")
        self.hive("SYSTEM", SYSTEM.format(set="ControlSet001"), "HKLM\\SYSTEM")
        self.hive("DEFAULT", demo, "HKU\\.DEFAULT")
        self.hive(self.ntuser, demo, "HKCU")

    def write(self, path, text):
        if text.startswith("REGEDIT4\n"):
            text = text[len("REGEDIT4\n"):]
        with open(path, "w", encoding="cp1252", newline="\r\n") as f:
            f.write("REGEDIT4\n\n" + text)

    def hive(self, name, text, key):
        source = os.path.join(self.opts.work, os.path.basename(name) + ".part.reg")
        self.write(source, text)
        out = os.path.join(self.config, name)
        code, _, err = run([self.opts.make_hive, os.path.join(
            self.opts.source, "tests", "platform", "hive", "fixtures", "minimal"), source, key, out])
        check(code == 0, f"make_hive {key}: {err}")

    def hives(self):
        return [os.path.join(self.config, n) for n in ("SOFTWARE", "SYSTEM", "DEFAULT")] + [
            self.ntuser]


def scan(opts, *args, status=0):
    code, out, err = run([opts.scan] + list(args))
    check(status is None or code == status, f"{list(args)}: exit {code}, wanted {status}\n{err}")
    return out, err


def scan_json(opts, *args):
    out, err = scan(opts, *args, "--json")
    return json.loads(out), err


def one_per_entry(result):
    """A registry text scan's result as the offline scan of the same content
    has it. The text holds the user's hive twice, as HKEY_CURRENT_USER and
    below HKEY_USERS, where the installation has one hive: an item under
    HKEY_USERS\\<sid> for an entry already found under HKEY_CURRENT_USER is
    one item there."""
    user = "HKUS\\" + SID.upper() + "\\"
    seen, items = set(), []
    for item in result["items"]:
        path = item["keyPath"].upper()
        if path.startswith(user):
            path = "HKCU\\" + path[len(user):]
        is_key = item["category"] in (1, 2, 5) or (item["category"] == 7 and "MENUORDER\\" in path)
        entry = (path, item["valueName"].upper(), is_key)
        if entry in seen and item["keyPath"].upper().startswith(user):
            continue
        seen.add(entry)
        items.append(item)
    counts = {str(c): sum(1 for i in items if i["category"] == c) for c in range(1, 9)}
    return dict(result, total=len(items), counts=counts, items=items)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def case_xp(opts):
    tree = Tree(opts, "xp", "5.1")
    text_scan, _ = scan_json(opts, "--registry", tree.same, "--drive", "C=" + tree.root)
    offline, err = scan_json(opts, "--windows", tree.root)
    online = one_per_entry(text_scan)
    check(online["total"] > 20, f"the demo's items: {online['counts']}")
    check(online != text_scan, "the user's hive shows no entry twice in the registry text")
    check(offline == online, "offline and registry text scans differ:\n" +
          json.dumps(offline, indent=1) + "\n--- registry text:\n" + json.dumps(online, indent=1))
    check("warning" not in err, err)
    config = os.path.join(tree.root, "WINDOWS", "system32", "config")
    by_hand, _ = scan_json(opts, "--drive", "C=" + tree.root, *[
        a for key, name in (("HKLM\\SOFTWARE", "SOFTWARE"), ("HKLM\\SYSTEM", "SYSTEM"),
                            ("HKU\\.DEFAULT", "DEFAULT"))
        for a in ("--hive", key + "=" + os.path.join(config, name))],
        "--hive", "HKCU=" + tree.ntuser, "--hive", "HKU\\" + SID + "=" + tree.ntuser)
    check(by_hand == offline, "--hive mounts differ from --windows:\n" + json.dumps(by_hand)[:3000])

    backups = os.path.join(opts.work, "backups")
    before = {path: read_bytes(path) for path in tree.hives()}
    fixed, err = scan_json(opts, "--windows", tree.root, "--fix", "--backup-dir", backups)
    check(fixed == online, f"--fix reported other items:\n{fixed}")
    written = re.findall(r"Hive written: (.*) \(the original is kept as (.*)\)", err)
    check(sorted(w[0] for w in written) ==
          sorted([os.path.join(tree.config, n) for n in ("SOFTWARE", "DEFAULT")] + [tree.ntuser]),
          f"hives written:\n{err}")
    for hive, kept in written:
        check(read_bytes(kept) == before[hive], f"{kept} is not the original")
        code, xml, xerr = run(["hivexml", hive])
        check(code == 0 and "<hive>" in xml, f"hivexml {hive}: {xerr}")
    software = os.path.join(tree.config, "SOFTWARE")
    _, xml, _ = run(["hivexml", software])
    check('key="Gone Updater"' not in xml and 'name="GoneToolbar"' not in xml and
          'name="Quillpad"' in xml, "the repaired SOFTWARE hive still holds the entries")
    shell = subprocess.run(["hivexsh", software], capture_output=True, text=True, timeout=60,
                           input="cd \\Microsoft\\Windows\\CurrentVersion\\Run\nlsval\n")
    check(shell.returncode == 0 and "Gone Updater" not in shell.stdout and "=" in shell.stdout,
          f"hivexsh: {shell.stdout}{shell.stderr}")
    check(read_bytes(os.path.join(tree.config, "SYSTEM")) ==
          before[os.path.join(tree.config, "SYSTEM")], "SYSTEM was written without a change")

    repaired = os.path.join(opts.work, "repaired.reg")
    again, _ = scan_json(opts, "--windows", tree.root, "--save", repaired)
    check(again["items"] == [], f"a scan after --fix finds {again['items']}")
    backup = re.search(r"Backup file: (.*)", err).group(1)
    check(read_bytes(backup).startswith(b"REGEDIT4\r\n"), "an XP backup is a REGEDIT4 file")
    restored = os.path.join(opts.work, "restored.reg")
    original = os.path.join(opts.work, "original.reg")
    empty = os.path.join(opts.work, "empty.reg")
    with open(empty, "w") as f:
        f.write("REGEDIT4\r\n\r\n")
    scan(opts, "--registry", repaired, "--restore", backup, "--save", restored)
    scan(opts, "--registry", tree.same, "--restore", empty, "--save", original)
    # HKEY_USERS\<sid> is the same hive as HKEY_CURRENT_USER, where the backup
    # puts back the entries found there; the in-memory registry holds them
    # apart, so the user's hive is compared as HKEY_CURRENT_USER. The repair
    # left no settings key of its own in the installation.
    def tree(path):
        return {k: v for k, v in read_reg(path).items()
                if not k.startswith("hkey_users\\" + SID.lower())}
    want, got = tree(original), tree(restored)
    check(got == want, "the backup over the repaired tree is not the original:\n" +
          describe_difference(want, got))


def case_modern(opts):
    tree = Tree(opts, "modern", "6.1")
    online, _ = scan(opts, "--registry", tree.same, "--drive", "C=" + tree.root, "--startup",
                     "--json")
    offline, _ = scan(opts, "--windows", tree.root, "--startup", "--json")
    check(offline == online, f"startup lists differ:\n{offline}\n---\n{online}")

    log = os.path.join(tree.config, "SOFTWARE.LOG1")
    with open(log, "wb") as f:
        f.write(b"\1" * 512)
    before = {path: read_bytes(path) for path in tree.hives()}
    items, err = scan_json(opts, "--windows", tree.root)
    check(items["total"] > 20 and "SOFTWARE.LOG1" in err and "only read" in err, err)
    for args in (["--fix", "--backup-dir", os.path.join(opts.work, "b1")], ["--startup-off", "1"]):
        _, err = scan(opts, "--windows", tree.root, *args, status=2)
        check("refused" in err, err)
    check({path: read_bytes(path) for path in tree.hives()} == before, "a dirty hive was written")
    check(not os.path.exists(os.path.join(opts.work, "b1")), "a refused --fix made its backup folder")
    check(not [n for n in os.listdir(tree.config) if ".quillmend-" in n], "files were left")
    os.remove(log)

    online, _ = scan(opts, "--registry", tree.same, "--drive", "C=" + tree.root,
                     "--startup-off", "1", "--json")
    offline, err = scan(opts, "--windows", tree.root, "--startup-off", "1", "--json")
    check(offline == online and "Hive written" in err, f"switching off:\n{offline}\n{err}")
    listed, _ = scan(opts, "--windows", tree.root, "--startup", "--json")
    check(listed == offline, "the switched-off item did not stay so")

    backups = os.path.join(opts.work, "b2")
    _, err = scan(opts, "--windows", tree.root, "--fix", "--backup-dir", backups,
                  "--categories", "2")
    backup = re.search(r"Backup file: (.*)", err + _).group(1)
    check(read_bytes(backup).startswith(b"\xff\xfeW\0i\0n\0d\0o\0w\0s\0"),
          "a modern installation's backup is a version 5 file")

    # One file mounted twice is one hive, written once with both views' repairs.
    software = os.path.join(tree.config, "SOFTWARE")
    out, _ = scan(opts, "--hive", "HKLM\\SOFTWARE=" + software, "--hive", "HKCU=" + tree.ntuser,
                  "--hive", "HKU\\" + SID + "=" + tree.ntuser,
                  "--hive", "HKU\\.DEFAULT=" + os.path.join(tree.config, "DEFAULT"),
                  "--drive", "C=" + tree.root,
                  "--fix", "--backup-dir", os.path.join(opts.work, "b3"), "--categories", "7,8")
    check(out.count("Hive written: " + tree.ntuser + " ") == 1, out)
    left, _ = scan_json(opts, "--windows", tree.root, "--categories", "7,8")
    check(left["total"] == 0, f"left after --fix through two mounts: {left['items']}")


def case_profiles(opts):
    """Profiles as NTFS names them, each folder once, none outside the tree;
    a startup item named outside ASCII switched off and on."""
    def profile(sid, path):
        return ("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\"
                "ProfileList\\S-1-5-21-1-2-3-" + sid + "]\n\"ProfileImagePath\"=\"" + path + "\"\n\n")
    extra = (profile("1001", "%SystemDrive%\\\\Documents and Settings\\\\Jos\u00e9") +
             profile("1002", "C:\\\\DOCUMENTS AND SETTINGS\\\\user") +
             profile("1003", "C:\\\\..\\\\outside\\\\Victim") +
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run]\n"
             "\"Caf\u00e9 Helper\"=\"C:\\\\Program Files\\\\Caf\u00e9\\\\helper.exe\"\n\n")
    tree = Tree(opts, "profiles", "5.1", extra)
    with open(os.path.join(opts.source, "demo", "registry.reg"), encoding="cp1252") as f:
        user = sections(f.read().replace("\r\n", "\n"), "HKEY_CURRENT_USER")
    jose = os.path.join(tree.root, "Documents and Settings", "Jos\u00e9", "NTUSER.DAT")
    victim = os.path.join(opts.work, "outside", "Victim", "NTUSER.DAT")
    for path in (jose, victim):
        os.makedirs(os.path.dirname(path), exist_ok=True)
        tree.hive(path, user, "HKCU")
    outside = read_bytes(victim)
    helper = os.path.join(tree.root, "Program Files", "Caf\u00e9")
    os.makedirs(helper)
    with open(os.path.join(helper, "helper.exe"), "wb") as f:
        f.write(b"MZ")

    _, err = scan(opts, "--windows", tree.root, status=2)
    check("(profiles: User, Jos\u00e9)" in err, f"each profile once, none outside:\n{err}")
    out, err = scan(opts, "--windows", tree.root, "--user", "JOS\u00c9", "--fix", "--backup-dir",
                    os.path.join(opts.work, "b4"), status=None)
    check("Hive written: " + jose + " " in out, f"José's hive was not repaired:\n{out}\n{err}")
    check(read_bytes(victim) == outside and victim not in out, f"a hive outside was written:\n{out}")

    listed, _ = scan_json(opts, "--windows", tree.root, "--user", "User", "--startup")
    rows = [i + 1 for i, row in enumerate(listed) if row["name"] == "Caf\u00e9 Helper"]
    check(len(rows) == 1, f"the startup item is not listed once: {listed}")
    for switch, enabled in (("--startup-off", False), ("--startup-on", True)):
        out, err = scan(opts, "--windows", tree.root, "--user", "User", switch, str(rows[0]))
        check("Hive written" in out + err, f"{switch}: nothing written:\n{out}{err}")
        listed, _ = scan_json(opts, "--windows", tree.root, "--user", "User", "--startup")
        check([row["enabled"] for row in listed if row["name"] == "Caf\u00e9 Helper"] == [enabled],
              f"{switch}: {listed}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scan", required=True)
    parser.add_argument("--make-hive", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--work", required=True)
    opts = parser.parse_args()
    shutil.rmtree(opts.work, ignore_errors=True)
    os.makedirs(opts.work)
    try:
        case_xp(opts)
        case_modern(opts)
        case_profiles(opts)
    except Failure as e:
        print(f"FAIL: {e}")
        return 1
    print("offline: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
