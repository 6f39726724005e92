#!/usr/bin/env python3
"""quillmend-scan in the code pages 932 and 1251, under Wine.

usage: code_page_test.py --scan PROGRAM --locales DIR --work DIR --emulator CMD

Wine takes the ANSI code page from the locale (LANG, LC_ALL and LOCPATH, the
locale data made by cmake/make-locales.sh in DIR), per process. In a Wine
prefix of its own, made afresh, the test writes a broken App Paths entry
whose key name ends in 表 and whose data holds ソ (both end in the byte of a
backslash in code page 932), and a broken Run value named "Программа".

- In code page 932 both are found, with their names and data as UTF-8 in
  the JSON; in code page 1251 the Run value is, and the App Paths key, whose
  name code page 1251 cannot hold, is not.
- In each code page --fix deletes what it found with a backup in that code
  page, and the system's regedit.exe, run in the same code page by
  --restore, imports it so that the registry is exactly as before.
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

APP_PATHS = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths"
RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
APP_NAME = "一覧表"
APP_DATA = "C:\\ソフト\\app.exe"
RUN_NAME = "Программа"
RUN_DATA = "C:\\Прог\\a.exe"

ENTRIES = f"""Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\{APP_PATHS}\\{APP_NAME}]
@="{APP_DATA.replace(chr(92), chr(92) * 2)}"
"Path"="C:\\\\ソフト\\\\{APP_NAME}"
"ソ"="x"

[HKEY_CURRENT_USER\\{RUN}]
"{RUN_NAME}"="{RUN_DATA.replace(chr(92), chr(92) * 2)}"

"""

APP_ITEM = [5, "HKLM\\" + APP_PATHS, APP_NAME, APP_DATA]
RUN_ITEM = [7, "HKCU\\" + RUN, RUN_NAME, RUN_DATA]

# locale: (its code page, what is found there, the key each fix is checked by)
LOCALES = {
    "ja_JP.UTF-8": ("cp932", [APP_ITEM, RUN_ITEM], "HKEY_LOCAL_MACHINE\\" + APP_PATHS),
    "ru_RU.UTF-8": ("cp1251", [RUN_ITEM], "HKEY_CURRENT_USER\\" + RUN),
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scan", required=True)
    parser.add_argument("--locales", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--emulator", required=True)
    opts = parser.parse_args()
    os.makedirs(opts.work, exist_ok=True)
    prefix = os.path.join(opts.work, "wineprefix")
    base_env = dict(os.environ, QM_WINEPREFIX=prefix)
    subprocess.run([opts.emulator, "--wineserver", "-k"], env=base_env, capture_output=True)
    subprocess.run([opts.emulator, "--wineserver", "-w"], env=base_env, capture_output=True)
    shutil.rmtree(prefix, ignore_errors=True)
    work = tempfile.mkdtemp(dir=opts.work)

    def run(locale, *command):
        env = dict(base_env, LANG=locale, LC_ALL=locale, LOCPATH=opts.locales)
        result = subprocess.run([opts.emulator, *command], env=env, capture_output=True,
                                cwd=work, timeout=900)
        return (result.returncode, result.stdout.decode("utf-8", "replace"),
                result.stderr.decode("utf-8", "replace"))

    def export(locale, key, tag):
        path = os.path.join(work, tag + ".reg")
        code, _, err = run(locale, "regedit", "/e", wine_path(path), key)
        check(code == 0 and os.path.exists(path), f"regedit /e {key}: exit {code}\n{err}")
        with open(path, "rb") as f:
            return f.read()

    def found(locale, categories):
        code, out, err = run(locale, opts.scan, "--json", "--categories", categories)
        check(code == 0, f"{locale}: scan: exit {code}\n{err}")
        items = json.loads(out)["items"]
        return [[i["category"], i["keyPath"], i["valueName"], i["data"]] for i in items
                if i["valueName"] in (APP_NAME, RUN_NAME) or i["keyPath"].endswith(APP_NAME)]

    try:
        entries = os.path.join(work, "entries.reg")
        with open(entries, "wb") as f:
            f.write(b"\xff\xfe" + ENTRIES.replace("\n", "\r\n").encode("utf-16-le"))
        code, _, err = run("ja_JP.UTF-8", "regedit", "/s", wine_path(entries))
        check(code == 0, f"importing the entries: exit {code}\n{err}")

        for locale, (codec, expected, key) in LOCALES.items():
            got = found(locale, "5,7")
            for item in expected:
                check(item in got, f"{locale}: {item} is not found: {got}")
            if APP_ITEM not in expected:
                check(not any(i[0] == 5 for i in got),
                      f"{locale}: a name the code page cannot hold is reported: {got}")

            before = export(locale, key, codec + "-before")
            backups = os.path.join(work, "Backup-" + codec)
            os.makedirs(backups)
            category = str(expected[0][0])
            code, _, err = run(locale, opts.scan, "--json", "--categories", category, "--fix",
                               "--backup-dir", wine_path(backups))
            check(code == 0, f"{locale}: --fix: exit {code}\n{err}")
            check(export(locale, key, codec + "-fixed") != before,
                  f"{locale}: --fix changed nothing")
            listed = os.listdir(backups)
            check(len(listed) == 1, f"{locale}: one backup file expected, found {listed}")
            backup = os.path.join(backups, listed[0])
            with open(backup, "rb") as f:
                data = f.read()
            text = data[2:].decode("utf-16-le") if data.startswith(b"\xff\xfe") else data.decode(codec)
            wanted = expected[0][3].replace("\\", "\\\\")
            check(f'"{wanted}"' in text, f"{locale}: the backup lacks \"{wanted}\":\n{text}")

            code, _, err = run(locale, opts.scan, "--restore", wine_path(backup))
            check(code == 0, f"{locale}: --restore: exit {code}\n{err}")
            after = export(locale, key, codec + "-after")
            check(after == before, f"{locale}: after --restore {key} differs:\n" +
                  after[2:].decode("utf-16-le", "replace"))
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
