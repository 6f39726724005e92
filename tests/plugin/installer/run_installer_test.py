#!/usr/bin/env python3
"""Runs callvane.dll inside a real NSIS installer under Wine.

An installer is built with makensis from callvane_test.nsi. For each case it
pushes strings (usually a sentinel, then the e-mail address, the name and the
web address), calls callvane::CallURL and writes what is left on its stack to
a file. The installer runs silently (/S) under Wine; a loopback HTTP server
records the requests it receives. Every case checks what the installer's
stack held after the call, and that the server received exactly the expected
GET requests: each case has its own path, and the query must decode to the
strings the case pushed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "support"))
from loopback_http import RecordingServer, decode_query, unused_port  # noqa: E402

SENTINEL = b"sentinel-after-the-three-strings"
NAME = "Zo\xeb O'Brien & Sons = 100% + more $1 \"q\"".encode("cp1252")
EMAIL = b"zo\xeb+list@example.org"


class Case:
    """Strings pushed (the last is popped first), the stack expected after the
    call, and the query expected at `path` ("" when no request is due)."""

    def __init__(self, name, pushes, left, query=None, path=None):
        self.name, self.pushes, self.left, self.query = name, pushes, left, query
        self.path = path or "/" + name


def cases(port, closed_port):
    def web(path):
        return ("http://127.0.0.1:%d%s" % (port, path)).encode()

    return [
        Case("special-characters", [SENTINEL, EMAIL, NAME, web("/reg/add.php")], [SENTINEL],
             [("Name", NAME), ("Email", EMAIL)], path="/reg/add.php"),
        Case("long-name", [SENTINEL, b"e@x.org", b"n" * 300, web("/long-name")], [SENTINEL],
             [("Name", b"n" * 255), ("Email", b"e@x.org")]),
        # With the e-mail address missing from the stack it is sent empty.
        Case("missing-email", [b"only name", web("/missing-email")], [],
             [("Name", b"only name"), ("Email", b"")]),
        # 255 "&" and 255 "%" need 1,530 bytes encoded: no request rather
        # than one cut short.
        Case("address-too-long", [SENTINEL, b"%" * 255, b"&" * 255, web("/address-too-long")],
             [SENTINEL]),
        Case("no-server",
             [SENTINEL, EMAIL, NAME, b"http://127.0.0.1:%d/no-server" % closed_port], [SENTINEL]),
        Case("unresolvable",
             [SENTINEL, EMAIL, NAME, b"http://callvane-test.invalid/unresolvable"], [SENTINEL]),
        # The installer is still sound after the failures: one more request.
        Case("after-failures", [SENTINEL, b"b@x.org", b"B", web("/after-failures")], [SENTINEL],
             [("Name", b"B"), ("Email", b"b@x.org")]),
    ]


def nsis_string(raw):
    """The bytes as a quoted NSIS string: "$" and quotes escaped."""
    text = raw.decode("cp1252")
    return '"' + text.replace("$", "$$").replace('"', '$\\"') + '"'


def read_stacks(path):
    """case name -> strings left on the stack, from the installer's file."""
    stacks, current = {}, None
    with open(path, "rb") as f:
        for line in f.read().split(b"\n")[:-1]:
            if current is None:
                current = line.decode("cp1252").removeprefix("case ")
                stacks[current] = []
            elif line == b"end":
                current = None
            else:
                stacks[current].append(line)
    return stacks


def build_and_run(args, folder, case_list):
    plugin_dir = os.path.join(folder, "plugins")
    os.makedirs(plugin_dir)
    shutil.copy(args.plugin, os.path.join(plugin_dir, "callvane.dll"))
    include = os.path.join(folder, "cases.nsh")
    with open(include, "w", encoding="cp1252") as f:
        f.write("!macro Cases\n")
        for case in case_list:
            for raw in case.pushes:
                f.write("  Push %s\n" % nsis_string(raw))
            f.write("  callvane::CallURL\n")
            f.write('  StrCpy $9 "%s"\n  Call DumpStack\n' % case.name)
        f.write("!macroend\n")
    exe = os.path.join(folder, "installer.exe")
    subprocess.run([args.makensis, "-V2", "-DPLUGIN_DIR=" + plugin_dir, "-DCASES=" + include,
                    "-DOUT_FILE=" + exe, args.script], check=True)
    # The host's proxy settings would send Wine's requests elsewhere.
    env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
    return subprocess.run([args.wine_run, exe, "/S"], cwd=folder, env=env,
                          timeout=args.timeout).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--plugin", required=True, help="the built callvane.dll")
    parser.add_argument("--script", required=True, help="callvane_test.nsi")
    parser.add_argument("--makensis", default="makensis")
    parser.add_argument("--wine-run", required=True, help="cmake/wine-run.sh")
    parser.add_argument("--work-dir", default=os.getcwd(),
                        help="where the installer is built and run (inside the build folder, "
                             "so that wine-run.sh finds its Wine prefix)")
    parser.add_argument("--timeout", type=float, default=300)
    args = parser.parse_args()

    os.makedirs(args.work_dir, exist_ok=True)
    folder = tempfile.mkdtemp(prefix="run-", dir=args.work_dir)
    failures = []
    with RecordingServer() as server:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        case_list = cases(server.server_address[1], unused_port())
        returncode = build_and_run(args, folder, case_list)
        server.shutdown()

    if returncode != 0:
        failures.append("installer exit code %d" % returncode)
    stack_file = os.path.join(folder, "stack-after.txt")
    stacks = read_stacks(stack_file) if os.path.exists(stack_file) else {}
    requests = list(server.requests)
    for case in case_list:
        left = stacks.get(case.name)
        if left != case.left:
            failures.append("%s: stack after the call %r, expected %r" % (case.name, left, case.left))
        received = [r for r in requests if r[1].partition("?")[0] == case.path]
        expected_count = 0 if case.query is None else 1
        if len(received) != expected_count:
            failures.append("%s: %d requests, expected %d" % (case.name, len(received), expected_count))
            continue
        for method, target, agent in received:
            query = target.partition("?")[2]
            if method != "GET" or agent != "Mozilla 1.0" or decode_query(query) != case.query:
                failures.append("%s: %s %s with agent %r, query decodes to %r" %
                                (case.name, method, target, agent, decode_query(query)))
    known_paths = {case.path for case in case_list}
    for method, target, _ in requests:
        if target.partition("?")[0] not in known_paths:
            failures.append("unexpected request %s %s" % (method, target))

    for failure in failures:
        print("FAIL", failure)
    if failures:
        print("installer and its output kept in", folder)
        return 1
    shutil.rmtree(folder, ignore_errors=True)
    print("%d installer cases passed, %d requests checked" % (len(case_list), len(requests)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
