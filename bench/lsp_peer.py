#!/usr/bin/env python3
"""A language server driven over pipes on a 10,000-line C++ file, as an editor drives it: the
semantic tokens of the whole text, a keystroke followed by the tokens again, and what the
server's resident memory grows by when the document opens. Runs `nxs lsp` and a peer server
side by side on the same file.

    lsp_peer.py NXS [PEER_SERVER...]     e.g. lsp_peer.py build/src/host/nxs clangd

Prints one line per server: median milliseconds of tokens/full (warm) and of a keystroke's
change with the tokens after it, and the kB the open document added."""
import json
import os
import select
import statistics
import subprocess
import sys
import tempfile
import time


class Server:
    def __init__(self, argv, cwd):
        self.proc = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL, cwd=cwd)
        self.buf = b""
        self.next_id = 0

    def send(self, message):
        body = json.dumps(message).encode()
        self.proc.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.proc.stdin.flush()

    def notify(self, method, params):
        self.send({"jsonrpc": "2.0", "method": method, "params": params})

    def read(self):
        """The next message; the time it arrived is kept in self.arrived (the client's decoding
        of it is no part of the server's time)."""
        while True:
            end = self.buf.find(b"\r\n\r\n")
            if end >= 0:
                length = int([h for h in self.buf[:end].split(b"\r\n")
                              if h.lower().startswith(b"content-length:")][0].split(b":")[1])
                if len(self.buf) >= end + 4 + length:
                    self.arrived = time.perf_counter()
                    body = self.buf[end + 4:end + 4 + length]
                    self.buf = self.buf[end + 4 + length:]
                    return json.loads(body)
            ready, _, _ = select.select([self.proc.stdout], [], [], 120)
            if not ready:
                raise TimeoutError("no answer")
            chunk = os.read(self.proc.stdout.fileno(), 1 << 20)
            if not chunk:
                raise EOFError("the server ended")
            self.buf += chunk

    def call(self, method, params):
        self.next_id += 1
        self.send({"jsonrpc": "2.0", "id": self.next_id, "method": method, "params": params})
        while True:
            message = self.read()
            if message.get("id") == self.next_id and "method" not in message:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"]))
                return message.get("result")
            if "method" in message and "id" in message:  # a request of the server's: accept it
                self.send({"jsonrpc": "2.0", "id": message["id"], "result": None})

    def rss_kb(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0


def cpp_file(lines):
    text = ["#include <cstdio>", ""]
    n = 0
    while len(text) + 9 <= lines:
        text += ["// routine%d adds what it is given" % n, "int routine%d(int a, int b) {" % n,
                 "\tint total = a + b * 2;  // the sum", '  std::printf("total: %%d of %%x\\n", total, 0xFF);',
                 "  if (total > 10) {", "    total -= 1;", "  }", "  return total;", "}"]
        n += 1
    text += [""] * (lines - len(text))
    return "\n".join(text) + "\n"


def measure(argv, work, path, text):
    server = Server(argv, work)
    uri = "file://" + path
    caps = {"textDocument": {"semanticTokens": {"requests": {"full": {"delta": True}}, "tokenTypes": [],
                                                "tokenModifiers": [], "formats": ["relative"]}}}
    server.call("initialize", {"processId": os.getpid(), "rootUri": "file://" + work, "capabilities": caps})
    server.notify("initialized", {})
    time.sleep(1)
    before = server.rss_kb()
    server.notify("textDocument/didOpen", {"textDocument": {"uri": uri, "languageId": "cpp", "version": 1,
                                                            "text": text}})
    doc = {"textDocument": {"uri": uri}}
    start = time.perf_counter()
    server.call("textDocument/semanticTokens/full", doc)
    first = (server.arrived - start) * 1000
    full = []
    for _ in range(20):
        start = time.perf_counter()
        server.call("textDocument/semanticTokens/full", doc)
        full.append((server.arrived - start) * 1000)
    opened = server.rss_kb() - before
    keystroke = []
    for version in range(2, 22):
        typed = version % 2 == 0
        change = {"range": {"start": {"line": 5003, "character": 4}, "end": {"line": 5003, "character": 4 if typed else 5}},
                  "text": "x" if typed else ""}
        start = time.perf_counter()
        server.notify("textDocument/didChange", {"textDocument": {"uri": uri, "version": version},
                                                 "contentChanges": [change]})
        try:
            server.call("textDocument/semanticTokens/full", doc)
        except RuntimeError:
            keystroke = [float("nan")]  # the server would not answer right after a change
            break
        keystroke.append((server.arrived - start) * 1000)
    server.call("shutdown", None)
    server.notify("exit", None)
    server.proc.wait(20)
    return first, statistics.median(full), statistics.median(keystroke), opened


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    servers = [[os.path.abspath(sys.argv[1]), "lsp"]] + ([sys.argv[2:]] if len(sys.argv) > 2 else [])
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "big.cpp")
        text = cpp_file(10000)
        with open(path, "w") as f:
            f.write(text)
        print("10,000 lines, %d kB of text" % (len(text) // 1024))
        for argv in servers:
            first, full, keystroke, opened = measure(argv, work, path, text)
            print("%-10s tokens/full first %7.1f ms, warm %7.2f ms; keystroke + tokens %7.2f ms; "
                  "document %6d kB resident" % (os.path.basename(argv[0]), first, full, keystroke, opened))
    return 0


if __name__ == "__main__":
    sys.exit(main())
