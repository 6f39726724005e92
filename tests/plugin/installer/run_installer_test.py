#!/usr/bin/env python3
"""Runs callvane.dll inside real NSIS installers under Wine.

For each case an installer is built with makensis from callvane_test.nsi. It
pushes a sentinel and the web address, name and e-mail address, calls
callvane::CallURL and writes what is left on its stack to a file. The
installer runs silently (/S) under Wine; a loopback HTTP server records the
requests it receives. Every case checks that the installer carried on with
exactly the three strings consumed; where a request is due, that the server
received one GET whose path and query decode to the pushed strings.
"""

import argparse
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import urllib.parse

SENTINEL = b"sentinel-after-the-three-strings"


class RecordingServer(http.server.ThreadingHTTPServer):
    def __init__(self):
        super().__init__(("127.0.0.1", 0), RecordingHandler)
        self.requests = []
        self.lock = threading.Lock()

    @property
    def port(self):
        return self.server_address[1]


class RecordingHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def record(self):
        with self.server.lock:
            self.server.requests.append((self.command, self.path, self.headers.get("User-Agent")))
        body = b"ok"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    do_GET = do_POST = do_HEAD = do_PUT = record

    def log_message(self, *args):
        pass


def nsis_string(raw):
    """The bytes as a quoted NSIS string: "$" and quotes escaped."""
    text = raw.decode("cp1252")
    return '"' + text.replace("$", "$$").replace('"', '$\\"') + '"'


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def decode_query(query):
    """The query's name=value pairs, values percent-decoded to bytes."""
    pairs = []
    for part in query.split("&"):
        name, _, value = part.partition("=")
        pairs.append((name, urllib.parse.unquote_to_bytes(value)))
    return pairs


class Runner:
    def __init__(self, args):
        self.args = args
        os.makedirs(args.work_dir, exist_ok=True)
        self.root = tempfile.mkdtemp(prefix="run-", dir=args.work_dir)
        self.plugin_dir = os.path.join(self.root, "plugins")
        os.makedirs(self.plugin_dir)
        shutil.copy(args.plugin, os.path.join(self.plugin_dir, "callvane.dll"))
        self.failures = []

    def run_installer(self, case, pushes):
        """Builds and runs one installer; returns the stack it saw afterwards."""
        folder = os.path.join(self.root, case)
        os.makedirs(folder)
        strings = os.path.join(folder, "strings.nsh")
        with open(strings, "w", encoding="cp1252") as f:
            f.write("!macro PushStrings\n")
            for raw in pushes:
                f.write("  Push %s\n" % nsis_string(raw))
            f.write("!macroend\n")
        exe = os.path.join(folder, "installer.exe")
        subprocess.run(
            [self.args.makensis, "-V2",
             "-DPLUGIN_DIR=" + self.plugin_dir, "-DSTRINGS=" + strings, "-DOUT_FILE=" + exe,
             self.args.script],
            check=True)
        # Proxy settings of the host would send Wine's requests elsewhere.
        env = {k: v for k, v in os.environ.items() if "proxy" not in k.lower()}
        result = subprocess.run([self.args.wine_run, exe, "/S"], cwd=folder, env=env,
                                timeout=180)
        self.check(case, result.returncode == 0, "installer exit code %d" % result.returncode)
        try:
            with open(os.path.join(folder, "stack-after.txt"), "rb") as f:
                lines = f.read().split(b"\n")
        except FileNotFoundError:
            self.check(case, False, "the installer did not carry on after CallURL")
            return None
        self.check(case, lines[-2:] == [b"end", b""], "stack file incomplete: %r" % lines)
        return lines[:-2]

    def check(self, case, ok, message):
        if not ok:
            self.failures.append("%s: %s" % (case, message))

    def run_case(self, case, pushes, expected_left, expected_query=None, path="/r"):
        """Runs an installer that pushes pushes(web address) with a server on
        a loopback port. With expected_query, exactly one GET of the path
        whose query decodes to those (name, bytes) pairs must arrive;
        without, no request at all."""
        with RecordingServer() as server:
            thread = threading.Thread(target=server.serve_forever, daemon=True)
            thread.start()
            web = ("http://127.0.0.1:%d%s" % (server.port, path)).encode()
            left = self.run_installer(case, pushes(web))
            server.shutdown()
        self.check(case, left == expected_left, "stack afterwards %r" % left)
        if expected_query is None:
            self.check(case, server.requests == [], "requests received: %r" % server.requests)
            return
        if len(server.requests) != 1:
            self.check(case, False, "requests received: %r" % server.requests)
            return
        method, target, agent = server.requests[0]
        target_path, _, query = target.partition("?")
        self.check(case, method == "GET", "method %s" % method)
        self.check(case, agent == "Mozilla 1.0", "agent %r" % agent)
        self.check(case, target_path == path, "path %r" % target_path)
        self.check(case, decode_query(query) == expected_query,
                   "query %r decodes to %r" % (query, decode_query(query)))


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--plugin", required=True, help="the built callvane.dll")
    parser.add_argument("--script", required=True, help="callvane_test.nsi")
    parser.add_argument("--makensis", default="makensis")
    parser.add_argument("--wine-run", required=True, help="cmake/wine-run.sh")
    parser.add_argument("--work-dir", default=os.getcwd())
    args = parser.parse_args()

    runner = Runner(args)
    name = "Zo\xeb O'Brien & Sons = 100% + more $1 \"q\"".encode("cp1252")
    email = b"zo\xeb+list@example.org"
    runner.run_case("special-characters", lambda web: [SENTINEL, email, name, web], [SENTINEL],
                    [("Name", name), ("Email", email)], path="/reg/add.php")
    runner.run_case("long-name-cut-to-255", lambda web: [SENTINEL, b"e@x.org", b"n" * 300, web],
                    [SENTINEL], [("Name", b"n" * 255), ("Email", b"e@x.org")])
    runner.run_case("missing-email", lambda web: [b"only name", web], [],
                    [("Name", b"only name"), ("Email", b"")])
    # Encoded, 255 "&" and 255 "%" need 1,530 bytes: no request rather than a cut one.
    runner.run_case("address-too-long", lambda web: [SENTINEL, b"%" * 255, b"&" * 255, web],
                    [SENTINEL])
    port = closed_port()
    runner.run_case("no-server",
                    lambda web: [SENTINEL, email, name, b"http://127.0.0.1:%d/r" % port],
                    [SENTINEL])
    runner.run_case("unresolvable",
                    lambda web: [SENTINEL, email, name, b"http://callvane-test.invalid/r"],
                    [SENTINEL])

    for failure in runner.failures:
        print("FAIL", failure)
    if runner.failures:
        return 1
    shutil.rmtree(runner.root, ignore_errors=True)
    print("all installer cases passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
