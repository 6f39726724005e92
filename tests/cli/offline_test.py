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
- A dirty hive whose log cannot be used is scanned with a warning, and --fix
  refuses it. A dirty hive with a log (written here as the format describes
  it) is scanned as recovered, and --fix writes it clean; the logs of a
  written hive, stale ones of a clean hive too, are set aside with its
  original. A hibernated Windows is scanned, and --fix refuses it.
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

    # A dirty hive whose log cannot be used: only read, and nothing written.
    software = os.path.join(tree.config, "SOFTWARE")
    clean = read_bytes(software)
    with open(software, "wb") as f:
        f.write(dirty(clean, 9))
    log = software + ".LOG1"
    with open(log, "wb") as f:
        f.write(b"\1" * 512)
    before = {path: read_bytes(path) for path in tree.hives()}
    items, err = scan_json(opts, "--windows", tree.root)
    check(items["total"] > 20 and "SOFTWARE.LOG1 holds no valid base block" in err and
          "never written" in err and "start Windows" not in err, err)
    for args in (["--fix", "--backup-dir", os.path.join(opts.work, "b1")], ["--startup-off", "1"]):
        _, err = scan(opts, "--windows", tree.root, *args, status=2)
        check("refused" in err, err)
    check({path: read_bytes(path) for path in tree.hives()} == before, "a dirty hive was written")
    check(not os.path.exists(os.path.join(opts.work, "b1")), "a refused --fix made its backup folder")
    check(not [n for n in os.listdir(tree.config) if ".quillmend-" in n], "files were left")
    os.remove(log)
    with open(software, "wb") as f:
        f.write(clean)

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


def le32(b, at):
    return int.from_bytes(b[at:at + 4], "little")


def put32(b, at, value):
    b[at:at + 4] = (value & 0xFFFFFFFF).to_bytes(4, "little")


def sealed(b):
    """`b` with its base block's checksum made right."""
    b = bytearray(b)
    s = 0
    for at in range(0, 508, 4):
        s ^= le32(b, at)
    put32(b, 508, s)
    return bytes(b)


def dirty(hive, seq):
    """The hive as Windows leaves it after logging changes: the sequence
    numbers seq + 1 and seq."""
    b = bytearray(hive)
    put32(b, 4, seq + 1)
    put32(b, 8, seq)
    return sealed(b)


def marvin32(data, seed=0x82EF4D887A4E55C5):
    mask = 0xFFFFFFFF
    rotl = lambda x, n: ((x << n) | (x >> (32 - n))) & mask  # noqa: E731
    lo, hi = seed & mask, seed >> 32
    n = len(data) // 4 * 4
    last = 0x80
    for byte in reversed(data[n:]):
        last = (last << 8) | byte
    for block in [le32(data, i) for i in range(0, n, 4)] + [last, 0]:
        lo = (lo + block) & mask
        hi ^= lo
        lo = (rotl(lo, 20) + hi) & mask
        hi = rotl(hi, 9) ^ lo
        lo = (rotl(lo, 27) + hi) & mask
        hi = rotl(hi, 19)
    return hi << 32 | lo


def new_log(old, new, seq):
    """A new-format log with one entry, number `seq`, that makes `new` out
    of `old`: its 4096-byte pages that differ."""
    base = bytearray(old[:512])
    put32(base, 4, seq)
    put32(base, 8, seq)
    put32(base, 28, 6)
    refs, pages = b"", b""
    for at in range(4096, len(new), 4096):
        if old[at:at + 4096] != new[at:at + 4096]:
            refs += (at - 4096).to_bytes(4, "little") + (4096).to_bytes(4, "little")
            pages += new[at:at + 4096]
    entry = bytearray(b"HvLE" + bytes(36) + refs + pages)
    entry += bytes(-len(entry) % 512)
    put32(entry, 4, len(entry))
    put32(entry, 12, seq)
    put32(entry, 16, le32(new, 40))
    put32(entry, 20, len(refs) // 8)
    entry[24:32] = marvin32(bytes(entry[40:])).to_bytes(8, "little")
    entry[32:40] = marvin32(bytes(entry[:32])).to_bytes(8, "little")
    return sealed(base) + bytes(entry)


def case_logs(opts):
    """A dirty hive recovered from its log, a clean one with stale logs, and
    a hibernated Windows."""
    tree = Tree(opts, "logs", "6.1")
    expected, _ = scan_json(opts, "--windows", tree.root)
    software = os.path.join(tree.config, "SOFTWARE")
    full = read_bytes(software)
    # The hive file holds an older state (without the demo's keys); its log
    # holds the rest.
    tree.hive("SOFTWARE.old", MACHINE.format(version="6.1"), "HKLM\\SOFTWARE")
    old = read_bytes(software + ".old")
    os.remove(software + ".old")
    with open(software, "wb") as f:
        f.write(dirty(old, 30))
    with open(software + ".LOG1", "wb") as f:
        f.write(new_log(old, full, 30))
    default = os.path.join(tree.config, "DEFAULT")
    with open(default + ".LOG2", "wb") as f:
        f.write(b"\1" * 1024)
    recovered, err = scan_json(opts, "--windows", tree.root)
    check(recovered == expected, "the recovered hive scans otherwise than the hive it recovers")
    check("SOFTWARE: the hive was not written out in full" in err and
          "1 log entry applied from SOFTWARE.LOG1" in err and "warning" not in err, err)

    hiberfil = os.path.join(tree.root, "hiberfil.sys")
    with open(hiberfil, "wb") as f:
        f.write(b"HIBR" + bytes(4092))
    before = {path: read_bytes(path) for path in tree.hives()}
    hibernated, err = scan_json(opts, "--windows", tree.root)
    check(hibernated == expected and "hibernated" in err, "a hibernated Windows is scanned")
    for args in (["--fix", "--backup-dir", os.path.join(opts.work, "b6")], ["--startup-off", "1"]):
        _, err = scan(opts, "--windows", tree.root, *args, status=2)
        check("refused" in err and "hiberfil.sys" in err and "Fast Startup" in err, err)
    check({path: read_bytes(path) for path in tree.hives()} == before, "a hibernated one written")

    with open(hiberfil, "wb") as f:
        f.write(bytes(4096))
    _, err = scan_json(opts, "--windows", tree.root, "--fix", "--backup-dir",
                       os.path.join(opts.work, "b5"))
    written = dict(re.findall(r"Hive written: (.*) \(the original is kept as (.*)\)", err))
    check(software in written and default in written, err)
    for hive in (software, default):
        data = read_bytes(hive)
        code, _, xerr = run(["hivexml", hive])
        check(code == 0 and le32(data, 4) == le32(data, 8), f"{hive}: {xerr}")
        logs = [os.path.basename(hive) + ext for ext in (".LOG1", ".LOG2")]
        check(not [n for n in os.listdir(tree.config) if n.upper() in logs],
              f"the logs of {hive} were not set aside")
    check(read_bytes(written[software]) == dirty(old, 30) and
          os.path.exists(written[software] + ".LOG1") and
          os.path.exists(written[default] + ".LOG2"),
          "the .bak set is not the original hive with its logs")
    again, err = scan_json(opts, "--windows", tree.root)
    check(again["items"] == [] and "note" not in err, f"left after --fix: {again['items']}\n{err}")


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
        case_logs(opts)
        case_profiles(opts)
    except Failure as e:
        print(f"FAIL: {e}")
        return 1
    print("offline: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
