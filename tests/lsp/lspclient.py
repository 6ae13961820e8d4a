"""A scripted language client: runs `nxs lsp` over pipes and speaks the protocol to it."""
import json
import os
import select
import subprocess
import time


class Client:
    def __init__(self, nxs, env=None):
        self.proc = subprocess.Popen([nxs, "lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env)
        self.buf = b""
        self.next_id = 0

    # -- writing
    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    @staticmethod
    def frame(message):
        body = json.dumps(message).encode()
        return b"Content-Length: %d\r\n\r\n" % len(body) + body

    def send(self, message):
        self.send_raw(self.frame(message))

    def request(self, method, params=None, send=True):
        self.next_id += 1
        message = {"jsonrpc": "2.0", "id": self.next_id, "method": method}
        if params is not None:
            message["params"] = params
        if send:
            self.send(message)
        return self.next_id if send else message

    def notify(self, method, params=None):
        message = {"jsonrpc": "2.0", "method": method}
        if params is not None:
            message["params"] = params
        self.send(message)

    # -- reading, each wait bounded
    def _fill(self, deadline):
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no answer from the server")
            ready, _, _ = select.select([self.proc.stdout], [], [], left)
            if ready:
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise EOFError("the server closed its output")
                self.buf += chunk
                return

    def read(self, timeout=20):
        deadline = time.monotonic() + timeout
        while b"\r\n\r\n" not in self.buf:
            self._fill(deadline)
        header, rest = self.buf.split(b"\r\n\r\n", 1)
        length = None
        for line in header.split(b"\r\n"):
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value)
        assert length is not None, header
        while len(rest) < length:
            self.buf = header + b"\r\n\r\n" + rest
            self._fill(deadline)
            header, rest = self.buf.split(b"\r\n\r\n", 1)
        self.buf = rest[length:]
        return json.loads(rest[:length])

    def answer(self, id, timeout=20):
        """The response to request id; notifications on the way are kept in self.notes."""
        while True:
            message = self.read(timeout)
            if "method" not in message and message.get("id") == id:
                return message
            self.notes.append(message)

    notes = []

    def call(self, method, params=None):
        reply = self.answer(self.request(method, params))
        if "error" in reply:
            raise RuntimeError("%s: %s" % (method, reply["error"]))
        return reply["result"]

    def initialize(self, encodings=None):
        caps = {}
        if encodings:
            caps["general"] = {"positionEncodings": encodings}
        result = self.call("initialize", {"processId": os.getpid(), "rootUri": None, "capabilities": caps})
        self.notify("initialized", {})
        return result

    def open(self, path, text=None, language="pascal"):
        if text is None:
            with open(path, encoding="utf-8", errors="surrogateescape") as f:
                text = f.read()
        uri = uri_of(path)
        self.notify("textDocument/didOpen",
                    {"textDocument": {"uri": uri, "languageId": language, "version": 1, "text": text}})
        return uri

    def close(self, timeout=20):
        """Ends the session politely; returns the exit status."""
        self.call("shutdown")
        self.notify("exit")
        return self.wait(timeout)

    def wait(self, timeout=20):
        self.proc.stdin.close()
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            raise


def uri_of(path):
    from urllib.parse import quote
    return "file://" + quote(os.path.abspath(path))


def unquote_uri(uri):
    from urllib.parse import unquote
    return unquote(uri[len("file://"):])


def sh(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout
