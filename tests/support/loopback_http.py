"""A loopback HTTP server that records the requests it receives, for tests
of installers that call out through the callvane plug-in."""

import http.server
import socket
import threading
import urllib.parse


class RecordingServer(http.server.ThreadingHTTPServer):
    """Listens on 127.0.0.1 at a free port; `requests` holds (method, path
    with query, User-Agent) of every request, answered with 200 "ok"."""

    def __init__(self):
        super().__init__(("127.0.0.1", 0), RecordingHandler)
        self.requests = []
        self.lock = threading.Lock()

    @property
    def port(self):
        return self.server_address[1]

    def start(self):
        threading.Thread(target=self.serve_forever, daemon=True).start()
        return self

    def received(self):
        with self.lock:
            return list(self.requests)


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


def unused_port():
    """A loopback port that nothing listens on (at the time of asking)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def decode_query(query):
    """The query's name=value pairs, values percent-decoded to bytes. The
    server reads the request line as Latin-1, so that is how its characters
    go back to the bytes that were sent."""
    pairs = []
    for part in query.split("&"):
        name, _, value = part.partition("=")
        pairs.append((name, urllib.parse.unquote_to_bytes(value.encode("latin-1"))))
    return pairs
