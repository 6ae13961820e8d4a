"""A scripted language client: runs `nxs lsp` over pipes and speaks the protocol to it."""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
from framed import FramedPeer  # noqa: E402


class Client(FramedPeer):
    def __init__(self, nxs, env=None):
        super().__init__([nxs, "lsp"], "the server", env=env)
        self.next_id = 0

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

    def read(self, timeout=20):
        return self.read_message(timeout)

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
        return super().wait(timeout)


def uri_of(path):
    from urllib.parse import quote
    return "file://" + quote(os.path.abspath(path))


def unquote_uri(uri):
    from urllib.parse import unquote
    return unquote(uri[len("file://"):])


def sh(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True).stdout
