#!/usr/bin/env python3
"""Runs Quillmend's installer and uninstaller under Wine, each case in a
Wine prefix of its own that the case makes and stops, and checks what they
leave on the system.

usage: installer_test.py CASE --work DIR --wine-run SH --probe EXE --setup EXE
                         --version V [--makensis M --script NSI --config NSH]
                         [--callvane DLL] [--scan EXE] [--zip ZIP --help-dir DIR]

Cases:
  lifecycle  silent install: files, version resources, shortcuts, Uninstall
             entry, the program's window, nothing of ours in a scan; install
             again over it: settings and backups kept; silent uninstall: only
             the backups left; a second uninstall removes nothing
  logon      the log-on check on Windows XP: the Run value, the Startup
             Manager's list, kept by a silent reinstall, switched off and on,
             removed by the uninstaller also after the Startup Manager switched
             it off
  task       the log-on check on Windows 7: the scheduled task's definition,
             registered, refreshed and kept by a reinstall, left disabled when
             the user disabled it, an earlier Run value moved to it, removed by
             the uninstaller
  pages      the pages driven as a user would: the registration page sends
             exactly one request (none in a silent install, none without an
             address) and the installer finishes when no server answers; the
             uninstaller's box deletes the backups
  portable   the portable zip's contents (no Wine)
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ElementTree
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from loopback_http import RecordingServer, decode_query  # noqa: E402
from script_checks import Failure, check, wine_path  # noqa: E402

INSTDIR = "C:\\Program Files\\Quillmend"
UNINST_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillmend"
SETTINGS_KEY = "HKLM\\Software\\Quillmend"
RUN_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_OFF_RECORD = "HKLM\\Software\\Microsoft\\Shared Tools\\MSConfig\\startupreg\\Quillmend"
LOGON_COMMAND = '"%s\\Quillmend.exe" -s' % INSTDIR
# Wine's task store: each task's definition as an XML file.
TASK_FILE = "C:\\windows\\system32\\tasks\\Quillmend"
TASK_NS = {"t": "http://schemas.microsoft.com/windows/2004/02/mit/task"}
BACKUP_NAME = "QmRegBak 6-12-2026 14-5-9.reg"
BACKUP_TEXT = b'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Gone]\r\n"a"="b"\r\n'


class Prefix:
    """A Wine prefix of the case's own, made by the runner on first use."""

    def __init__(self, opts):
        self.opts = opts
        self.path = os.path.join(opts.work, "wineprefix")
        # The host's proxy settings would send Wine's requests elsewhere.
        self.env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        self.env["QM_WINEPREFIX"] = self.path

    def run(self, *args, timeout=300):
        return subprocess.run([self.opts.wine_run, *args], env=self.env, cwd=self.opts.work,
                              capture_output=True, timeout=timeout)

    def probe(self, *args):
        """installer_probe's output; fails on a status other than 0."""
        result = self.run(self.opts.probe, *args)
        out = result.stdout.decode("cp1252", "replace")
        check(result.returncode == 0, "installer_probe %s: status %d\n%s%s" % (
            " ".join(args), result.returncode, out, result.stderr.decode("cp1252", "replace")))
        return out.splitlines()

    def install(self, setup, *args):
        started = time.monotonic()
        result = self.run(setup, *args)
        check(result.returncode == 0, "%s %s: status %d" % (os.path.basename(setup),
                                                           " ".join(args), result.returncode))
        return time.monotonic() - started

    def uninstall(self):
        """Runs a copy of the installed uninstaller with _?= (as it runs
        itself from a copy in the temporary folder, but waited for); returns
        the copy for a second run, and the time taken."""
        copy = os.path.join(self.opts.work, "uninstall-copy.exe")
        shutil.copy(self.host(INSTDIR + "\\uninstall.exe"), copy)
        started = time.monotonic()
        status = self.uninstall_with(copy)
        check(status == 0, "silent uninstall: status %d" % status)
        return copy, time.monotonic() - started

    def uninstall_with(self, copy):
        return self.run(self.opts.probe, "run", wine_path(copy),
                        "/S _?=" + INSTDIR).returncode

    def values(self, key):
        """{name: (type, data)} of a registry key, None when it is missing."""
        result = self.run("reg", "query", key)
        if result.returncode != 0:
            return None
        values = {}
        for line in result.stdout.decode("cp1252", "replace").splitlines():
            m = re.match(r"^    (.*?)    (REG_\w+)    ?(.*)$", line)
            if m:
                values[m.group(1)] = (m.group(2), m.group(3))
        return values

    def value(self, key, name):
        values = self.values(key) or {}
        return values.get(name, (None, None))[1]

    def host(self, windows_path):
        """The host path of a path on drive C: of the prefix."""
        check(windows_path[:3].upper() == "C:\\", "not on drive C: " + windows_path)
        return os.path.join(self.path, "drive_c", *windows_path[3:].split("\\"))

    def scan(self, scanner, *args):
        result = self.run(scanner, *args, "--json")
        check(result.returncode == 0, "quillmend-scan %s: status %d\n%s" % (
            " ".join(args), result.returncode, result.stderr.decode("utf-8", "replace")))
        return json.loads(result.stdout.decode("utf-8"))

    def set_windows(self, version, reported):
        """Makes the prefix report another Windows, as winecfg's version list does."""
        check(self.run("winecfg", "/v", version).returncode == 0, "winecfg /v " + version)
        ver = self.run("cmd", "/c", "ver").stdout.decode("cp1252", "replace")
        check("Windows " + reported in ver, "%s: the prefix reports %r" % (version, ver.strip()))

    def task_file(self):
        return self.host(TASK_FILE)

    def task(self):
        """The stored definition of the task Quillmend (the root element),
        None when there is none."""
        try:
            with open(self.task_file(), "rb") as f:
                data = f.read()
        except FileNotFoundError:
            return None
        return ElementTree.fromstring(data)

    def stop(self):
        if os.path.exists(os.path.join(self.path, ".quillmend-ready")):
            self.run("--wineserver", "-k", timeout=120)
            self.run("--wineserver", "-w", timeout=120)


def wine_processes(prefix_path):
    """{pid: command line} of the processes of this Wine prefix, its server
    included (each has the prefix in its environment)."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=" + prefix_path).encode() not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                found[int(pid)] = f.read().replace(b"\0", b" ").decode("utf-8", "replace")
        except OSError:
            pass
    return found


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # user and system time


def describe_hang(prefix_path):
    """Prints what the prefix's processes are doing; True when its Wine
    server spins: over five seconds it used at least 15% of a processor (a
    loaded machine gives it no more than its share, and an idle server uses
    none) while no program of the prefix used 5%."""
    processes = wine_processes(prefix_path)
    servers = [pid for pid, command in processes.items() if "wineserver" in command]
    try:
        before = {pid: cpu_ticks(pid) for pid in processes}
        time.sleep(5)
        used = {pid: (cpu_ticks(pid) - before[pid]) / os.sysconf("SC_CLK_TCK") / 5
                for pid in before}
    except OSError:
        used = {}
    for pid, command in sorted(processes.items()):
        print("  %d %3.0f%% %s" % (pid, 100 * used.get(pid, 0), command), file=sys.stderr)
    programs_idle = all(used.get(pid, 0) < 0.05 for pid in processes if pid not in servers)
    spinning = [pid for pid in servers if used.get(pid, 0) >= 0.15 and programs_idle]
    for pid in spinning:
        if shutil.which("gdb"):
            trace = subprocess.run(["gdb", "-batch", "-p", str(pid), "-ex", "bt"],
                                   capture_output=True, text=True, timeout=60)
            print("  the Wine server spins here:\n" + trace.stdout[-3000:], file=sys.stderr)
    return bool(spinning)


def files_below(folder):
    found = []
    for root, _, names in os.walk(folder):
        found += [os.path.relpath(os.path.join(root, n), folder).replace(os.sep, "\\")
                  for n in names]
    return sorted(found)


def check_nothing_of_ours_in_scan(prefix, scanner):
    """A full scan of the prefix reports no item that names Quillmend."""
    result = prefix.scan(scanner)
    ours = [item for item in result["items"] if "quillmend" in json.dumps(item).lower()]
    check(not ours, "the scan reports Quillmend's own entries: %s" % json.dumps(ours, indent=1))


def put_backup(prefix):
    folder = prefix.host(INSTDIR + "\\Backup")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, BACKUP_NAME), "wb") as f:
        f.write(BACKUP_TEXT)


def check_backup_kept(prefix, what):
    path = prefix.host(INSTDIR + "\\Backup\\" + BACKUP_NAME)
    check(os.path.exists(path), what + ": the backup file is gone")
    with open(path, "rb") as f:
        check(f.read() == BACKUP_TEXT, what + ": the backup file changed")


# --- cases -------------------------------------------------------------------


def case_lifecycle(opts, prefix):
    prefix.run("cmd", "/c", "exit", "0")  # makes the prefix, so the install alone is timed
    install_time = prefix.install(opts.setup, "/S")
    version = opts.version
    instdir = prefix.host(INSTDIR)
    installed = files_below(instdir)
    help_files = ["help\\" + f for f in files_below(opts.help_dir)]
    check(installed == sorted(["Quillmend.exe", "quillmend-scan.exe", "uninstall.exe"] + help_files),
          "installed files: %s" % installed)

    files = [INSTDIR + "\\Quillmend.exe", INSTDIR + "\\quillmend-scan.exe",
             wine_path(opts.setup), wine_path(opts.callvane)]
    quad = ".".join((version.split(".") + ["0"] * 4)[:4])
    for path, line in zip(files, prefix.probe("version", *files)):
        check(line == "%s|%s|%s|Quillmend" % (quad, version, version),
              "version resource of %s: %s" % (path, line))

    entry = prefix.values(UNINST_KEY)
    check(entry is not None, "no Uninstall entry")
    expected = {
        "DisplayName": ("REG_SZ", "Quillmend"),
        "DisplayVersion": ("REG_SZ", version),
        "DisplayIcon": ("REG_SZ", INSTDIR + "\\Quillmend.exe,0"),
        "InstallLocation": ("REG_SZ", INSTDIR),
        "UninstallString": ("REG_SZ", '"%s\\uninstall.exe"' % INSTDIR),
        "QuietUninstallString": ("REG_SZ", '"%s\\uninstall.exe" /S' % INSTDIR),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
    }
    for name, wanted in expected.items():
        check(entry.get(name) == wanted, "Uninstall entry %s: %r, expected %r" % (
            name, entry.get(name), wanted))
    check(entry.get("Publisher", ("", ""))[1] != "", "Uninstall entry without a publisher")
    size_type, size = entry.get("EstimatedSize", (None, "0"))
    size_kb = sum(os.path.getsize(os.path.join(instdir, *f.split("\\"))) for f in installed) // 1024
    check(size_type == "REG_DWORD" and abs(int(size, 16) - size_kb) <= 16,
          "EstimatedSize %s %s, the files take %d KB" % (size_type, size, size_kb))

    programs = prefix.value("HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                            "Shell Folders", "Common Programs")
    check(programs, "no Common Programs folder")
    menu = programs + "\\Quillmend"
    shortcuts = {"Quillmend.lnk": INSTDIR + "\\Quillmend.exe ",
                 "Quillmend user guide.lnk": INSTDIR + "\\help\\index.html ",
                 "Uninstall Quillmend.lnk": INSTDIR + "\\uninstall.exe "}
    check(sorted(os.listdir(prefix.host(menu))) == sorted(shortcuts),
          "Start Menu folder holds %s" % os.listdir(prefix.host(menu)))
    links = [menu + "\\" + name for name in shortcuts]
    for link, command in zip(links, prefix.probe("shortcut", *links)):
        check(command.lower() == shortcuts[link.rsplit("\\", 1)[1]].lower(),
              "%s starts %r" % (link, command))

    check(prefix.value(SETTINGS_KEY, "Version") == version, "no Version setting")
    check(prefix.value(RUN_KEY, "Quillmend") is None and prefix.task() is None,
          "the log-on check is on by default")

    # The window's caption is the single-instance name, which carries the
    # Version setting.
    prefix.probe("window", INSTDIR + "\\Quillmend.exe", "Quillmend " + version)
    check_nothing_of_ours_in_scan(prefix, INSTDIR + "\\quillmend-scan.exe")

    # Install again over it: the settings the program wrote, and the backups.
    first_time = prefix.value(SETTINGS_KEY, "FirstTime")
    check(first_time == "1", "the program did not write its settings (FirstTime %r)" % first_time)
    put_backup(prefix)
    # The ignore list, as the details dialog stores it.
    ignored = "*\tHKLM\\SOFTWARE\\Gone Vendor"
    result = prefix.run("reg", "add", SETTINGS_KEY + "\\Ignore", "/v", "1", "/t", "REG_SZ",
                        "/d", ignored, "/f")
    check(result.returncode == 0, "reg add of the ignore list: status %d" % result.returncode)
    reinstall_time = prefix.install(opts.setup, "/S")
    check(prefix.value(SETTINGS_KEY, "FirstTime") == "1", "installing again lost a setting")
    check(prefix.value(SETTINGS_KEY + "\\Ignore", "1") == ignored,
          "installing again lost the ignore list")
    check(prefix.value(SETTINGS_KEY, "Version") == version, "installing again lost the version")
    check_backup_kept(prefix, "installing again")

    copy, uninstall_time = prefix.uninstall()
    check(files_below(instdir) == ["Backup\\" + BACKUP_NAME],
          "left after uninstalling: %s" % files_below(instdir))
    check_backup_kept(prefix, "uninstalling")
    check(not os.path.exists(prefix.host(menu)), "the Start Menu folder is left")
    for key in (UNINST_KEY, SETTINGS_KEY):
        check(prefix.values(key) is None, key + " is left")

    # A second uninstall finds no installation and removes nothing.
    status = prefix.uninstall_with(copy)
    check(status == 2, "second uninstall: status %d, expected 2 (nothing to uninstall)" % status)
    check_backup_kept(prefix, "a second uninstall")
    print("setup %d bytes; under Wine: silent install %.1f s, again over it %.1f s, silent "
          "uninstall %.1f s" % (os.path.getsize(opts.setup), install_time, reinstall_time,
                                uninstall_time))


def startup_rows(prefix, scanner):
    return [r for r in prefix.scan(scanner, "--startup") if r["name"] == "Quillmend"]


def case_logon(opts, prefix):
    scanner = wine_path(opts.scan)
    prefix.set_windows("winxp", "5.1")
    prefix.install(opts.setup, "/S", "/LOGON")
    check(prefix.values(RUN_KEY).get("Quillmend") == ("REG_SZ", LOGON_COMMAND),
          "Run value: %r" % (prefix.values(RUN_KEY).get("Quillmend"),))
    check(prefix.task() is None, "a scheduled task on Windows XP")
    rows = startup_rows(prefix, scanner)
    check(rows == [{"name": "Quillmend", "command": LOGON_COMMAND, "location": "HKLM/Run",
                    "enabled": True}], "Startup Manager rows: %r" % rows)
    check_nothing_of_ours_in_scan(prefix, scanner)

    prefix.install(opts.setup, "/S")
    check(prefix.value(RUN_KEY, "Quillmend") == LOGON_COMMAND, "installing again lost the Run value")

    # Switched off in the Startup Manager, it stays off when installing again,
    # and the Startup Manager switches it on and off again.
    def switch(how):
        all_rows = prefix.scan(scanner, "--startup")
        row = next(i for i, r in enumerate(all_rows, 1) if r["name"] == "Quillmend")
        check(prefix.run(scanner, "--startup-" + how, str(row)).returncode == 0,
              "switching " + how + " failed")
    switch("off")
    check(prefix.value(RUN_OFF_RECORD, "command") == LOGON_COMMAND, "no switched-off record")
    prefix.install(opts.setup, "/S")
    check(prefix.value(RUN_KEY, "Quillmend") is None, "installing again switched the check on")
    switch("on")
    check(prefix.value(RUN_KEY, "Quillmend") == LOGON_COMMAND and
          prefix.values(RUN_OFF_RECORD) is None, "switching on did not put the Run value back")
    switch("off")

    prefix.uninstall()
    check(prefix.value(RUN_KEY, "Quillmend") is None, "the Run value is left")
    check(prefix.values(RUN_OFF_RECORD) is None, "the switched-off record is left")
    check(startup_rows(prefix, scanner) == [], "the Startup Manager still lists Quillmend")
    check_nothing_of_ours_in_scan(prefix, scanner)


def written_definition(opts, prefix, instdir):
    """The task definition that the installer's own function writes for an
    installation in instdir, parsed. Wine's Task Scheduler keeps only part
    of a definition (no triggers, principal or actions), so the definition
    is read as written, from a small installer built around that function."""
    script = os.path.join(opts.work, "definition.nsi")
    with open(script, "w") as f:
        f.write('Unicode false\n!define PRODUCT Quillmend\n!include "%s"\nOutFile definition.exe\n'
                'RequestExecutionLevel user\nSilentInstall silent\nSection\n'
                '  StrCpy $INSTDIR "%s"\n  Push "$EXEDIR\\definition.xml"\n'
                '  Call WriteLogonTaskDefinition\nSectionEnd\n'
                % (os.path.join(os.path.dirname(opts.script), "logon-task.nsh"), instdir))
    subprocess.run([opts.makensis, "-V2", "-WX", script], check=True)
    check(prefix.run(os.path.join(opts.work, "definition.exe")).returncode == 0,
          "writing the definition failed")
    with open(os.path.join(opts.work, "definition.xml"), "rb") as f:
        data = f.read()
    check(data[:2] == b"\xff\xfe", "the definition is not UTF-16 with a byte order mark")
    return ElementTree.fromstring(data)


def text(task, path):
    return task.findtext("/".join("t:" + step for step in path.split("/")), None, TASK_NS)


# What Wine's Task Scheduler keeps of a definition's settings.
KEPT_SETTINGS = ["DisallowStartIfOnBatteries", "StopIfGoingOnBatteries", "ExecutionTimeLimit",
                 "RunOnlyIfIdle", "Enabled", "Priority"]


def case_task(opts, prefix):
    scanner = wine_path(opts.scan)
    prefix.set_windows("win7", "6.1")
    folder = "C:\\Program Files\\Tools & More"
    definition = written_definition(opts, prefix, folder)
    expected = {
        "Triggers/LogonTrigger/Enabled": "true",
        "Triggers/LogonTrigger/UserId": None,  # any user's log-on
        "Principals/Principal/GroupId": "S-1-5-32-545",
        "Principals/Principal/RunLevel": "HighestAvailable",
        "Settings/MultipleInstancesPolicy": "Parallel",  # one per user's session
        "Settings/DisallowStartIfOnBatteries": "false",
        "Settings/StopIfGoingOnBatteries": "false",
        "Settings/ExecutionTimeLimit": "PT0S",
        "Settings/RunOnlyIfIdle": "false",
        "Settings/IdleSettings/StopOnIdleEnd": "false",
        "Settings/Enabled": "true",
        "Actions/Exec/Command": folder + "\\Quillmend.exe",
        "Actions/Exec/Arguments": "-s",
    }
    for path, wanted in expected.items():
        check(text(definition, path) == wanted, "definition %s: %r, expected %r" % (
            path, text(definition, path), wanted))
    principal = definition.find("t:Principals/t:Principal", TASK_NS)
    check(definition.find("t:Actions", TASK_NS).get("Context") == principal.get("id"),
          "the action does not run as the principal")

    def check_registered(what):
        task = prefix.task()
        check(task is not None, what + ": no task")
        for name in KEPT_SETTINGS + ["RegistrationInfo/Description"]:
            path = name if "/" in name else "Settings/" + name
            check(text(task, path) == text(definition, path), "%s: the task's %s is %r, "
                  "the definition's %r" % (what, path, text(task, path), text(definition, path)))
        check(prefix.value(RUN_KEY, "Quillmend") is None, what + ": a Run value")

    def rewrite_task(old, new):
        with open(prefix.task_file(), "rb") as f:
            data = f.read()
        check(old.encode() in data, "the stored task has no " + old)
        with open(prefix.task_file(), "wb") as f:
            f.write(data.replace(old.encode(), new.encode()))

    prefix.install(opts.setup, "/S", "/LOGON")
    check_registered("installed with /LOGON")
    check(startup_rows(prefix, scanner) == [], "the Startup Manager lists the task")
    check_nothing_of_ours_in_scan(prefix, scanner)

    # Installing again registers the task again (an older definition is
    # replaced), and leaves it alone when the user disabled it.
    rewrite_task("<Priority>5</Priority>", "<Priority>7</Priority>")
    prefix.install(opts.setup, "/S")
    check_registered("installed again")
    rewrite_task("<Enabled>true</Enabled>", "<Enabled>false</Enabled>")
    prefix.install(opts.setup, "/S")
    check(text(prefix.task(), "Settings/Enabled") == "false", "installing again enabled the task")

    # An earlier installation's Run value, which never started anything here,
    # becomes the task.
    check(prefix.run("schtasks", "/Delete", "/TN", "Quillmend", "/F").returncode == 0,
          "schtasks /Delete failed")
    check(prefix.run("reg", "add", RUN_KEY, "/v", "Quillmend", "/d", LOGON_COMMAND,
                     "/f").returncode == 0, "reg add failed")
    prefix.install(opts.setup, "/S")
    check_registered("installed over a Run value")

    prefix.uninstall()
    check(prefix.task() is None, "the task is left after uninstalling")
    check(prefix.value(RUN_KEY, "Quillmend") is None, "a Run value after uninstalling")


def drive(prefix, exe, arguments="", *options):
    """Pages seen and the exit status of an installer clicked through."""
    lines = prefix.probe("drive", wine_path(exe), arguments, *options)
    check(lines and lines[-1].startswith("exit "), "driving %s: %s" % (exe, lines))
    return lines[:-1], int(lines[-1].split()[1])


def case_pages(opts, prefix):
    name, email = "Zoe O'Brien & Sons = 100%", "zoe+list@example.org"
    with RecordingServer() as server:
        server.start()
        setup = os.path.join(opts.work, "setup-registration.exe")
        subprocess.run([opts.makensis, "-V2", "-WX", "-DCONFIG=" + opts.config,
                        "-DQM_REGISTRATION_URL=http://127.0.0.1:%d/register" % server.port,
                        "-DOUT_FILE=" + setup, opts.script], check=True)

        prefix.install(setup, "/S")
        check(server.received() == [], "a silent install sent %s" % server.received())

        pages, status = drive(prefix, setup, "", "--name", name, "--email", email)
        check(status == 0 and "Registration" in pages, "pages %s, status %d" % (pages, status))
        requests = server.received()
        check(len(requests) == 1, "%d requests: %s" % (len(requests), requests))
        method, target, _ = requests[0]
        path, _, query = target.partition("?")
        check(method == "GET" and path == "/register" and
              decode_query(query) == [("Name", name.encode()), ("Email", email.encode())],
              "request %s %s" % (method, target))
        server.shutdown()

    # No server answers any more: the installer still finishes.
    pages, status = drive(prefix, setup, "", "--name", name)
    check(status == 0 and "Installation Complete" in pages,
          "with no server: pages %s, status %d" % (pages, status))

    # The build's own installer has no registration address and no page.
    pages, status = drive(prefix, opts.setup)
    check(status == 0 and "Registration" not in pages and "Installation Complete" in pages,
          "without an address: pages %s, status %d" % (pages, status))

    put_backup(prefix)
    copy = os.path.join(opts.work, "uninstall-copy.exe")
    shutil.copy(prefix.host(INSTDIR + "\\uninstall.exe"), copy)
    pages, status = drive(prefix, copy, "_?=" + INSTDIR, "--delete-backups")
    check(status == 0 and "Registry backups" in pages, "uninstall: pages %s, status %d" % (
        pages, status))
    check(not os.path.exists(prefix.host(INSTDIR)), "left after uninstalling with the box "
          "ticked: %s" % files_below(prefix.host(INSTDIR)))


def case_portable(opts, prefix):
    with zipfile.ZipFile(opts.zip) as archive:
        names = sorted(n for n in archive.namelist() if not n.endswith("/"))
        expected = sorted(["Quillmend/Quillmend.exe", "Quillmend/README.txt"] +
                          ["Quillmend/help/" + f.replace("\\", "/") for f in files_below(opts.help_dir)])
        check(names == expected, "zip holds %s, expected %s" % (names, expected))
        readme = archive.read("Quillmend/README.txt")
        program = archive.read("Quillmend/Quillmend.exe")
    check(b"\n" not in readme.replace(b"\r\n", b""), "README.txt has line ends other than CR LF")
    check(opts.version.encode() in readme, "README.txt does not name the version")
    with open(opts.program, "rb") as f:
        check(program == f.read(), "the zip's Quillmend.exe is not the one the installer ships")
    check(opts.version.encode("utf-16-le") in program, "Quillmend.exe does not carry its version")


CASES = {"lifecycle": case_lifecycle, "logon": case_logon, "task": case_task,
         "pages": case_pages, "portable": case_portable}


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("case", choices=sorted(CASES))
    parser.add_argument("--work", required=True, help="a scratch folder for this case")
    parser.add_argument("--version", required=True)
    parser.add_argument("--help-dir", required=True, help="docs/help")
    parser.add_argument("--wine-run", help="cmake/wine-run.sh")
    parser.add_argument("--probe", help="installer_probe.exe")
    parser.add_argument("--setup", help="the built Quillmend-<version>-setup.exe")
    parser.add_argument("--callvane", help="the built callvane.dll")
    parser.add_argument("--scan", help="the built quillmend-scan.exe")
    parser.add_argument("--makensis")
    parser.add_argument("--script", help="installer/quillmend.nsi")
    parser.add_argument("--config", help="the build's config.nsh")
    parser.add_argument("--zip", help="the built Quillmend-<version>-portable.zip")
    parser.add_argument("--program", help="the Quillmend.exe the installer ships")
    opts = parser.parse_args()

    # Wine's server has been seen to spin without end while an installer
    # ran, at full load with the programs idle. Such a hang is not the
    # installer's: when a Wine program does not finish and the prefix's
    # server is found spinning, the case starts once more in a new prefix
    # (what the server was doing is printed). Any other hang fails at once.
    for attempt in (1, 2):
        shutil.rmtree(opts.work, ignore_errors=True)
        os.makedirs(opts.work)
        prefix = Prefix(opts) if opts.case != "portable" else None
        try:
            CASES[opts.case](opts, prefix)
            break
        except Failure as failure:
            print("FAILED %s: %s" % (opts.case, failure), file=sys.stderr)
            return 1
        except subprocess.TimeoutExpired as hang:
            print("%s: Wine did not finish %s (attempt %d)" % (opts.case, hang.cmd, attempt),
                  file=sys.stderr)
            spinning = prefix is not None and describe_hang(os.path.realpath(prefix.path))
            if attempt == 2 or not spinning:
                return 1
        finally:
            if prefix:
                prefix.stop()
    print("passed", opts.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
