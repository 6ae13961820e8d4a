"""A scripted debug adapter client: runs `nxs dap` over pipes and speaks the protocol to it."""
import json
import os
import select
import subprocess
import time


class Client:
    def __init__(self, nxs, env=None, cwd=None):
        self.proc = subprocess.Popen([nxs, "dap"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env, cwd=cwd)
        self.buf = b""
        self.seq = 0
        self.events = []  # events read while waiting for something else, oldest first
        self.output = ""  # the text of every output event read

    # -- writing
    def send_raw(self, data):
        self.proc.stdin.write(data)
        self.proc.stdin.flush()

    @staticmethod
    def frame(message):
        body = json.dumps(message).encode()
        return b"Content-Length: %d\r\n\r\n" % len(body) + body

    def request(self, command, arguments=None):
        self.seq += 1
        message = {"seq": self.seq, "type": "request", "command": command}
        if arguments is not None:
            message["arguments"] = arguments
        self.send_raw(self.frame(message))
        return self.seq

    # -- reading, each wait bounded
    def _fill(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError("no message from the adapter")
        ready, _, _ = select.select([self.proc.stdout], [], [], left)
        if ready:
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise EOFError("the adapter closed its output")
            self.buf += chunk

    def read(self, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            head, sep, rest = self.buf.partition(b"\r\n\r\n")
            if sep:
                length = None
                for line in head.split(b"\r\n"):
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value)
                assert length is not None, head
                if len(rest) >= length:
                    self.buf = rest[length:]
                    message = json.loads(rest[:length])
                    if message.get("event") == "output":
                        self.output += message["body"]["output"]
                    return message
            self._fill(deadline)

    def response(self, seq, timeout=30):
        """The response to request seq; events on the way are kept in self.events."""
        while True:
            message = self.read(timeout)
            if message.get("type") == "response" and message.get("request_seq") == seq:
                return message
            self.events.append(message)

    def call(self, command, arguments=None, timeout=30):
        reply = self.response(self.request(command, arguments), timeout)
        if not reply.get("success"):
            raise RuntimeError("%s: %s" % (command, reply.get("message")))
        return reply.get("body", {})

    def event(self, name, timeout=30, where=lambda body: True):
        """The first event called name (kept or still to come) whose body passes where; the
        events before it are dropped."""
        deadline = time.monotonic() + timeout
        while True:
            for i, message in enumerate(self.events):
                if message.get("type") == "event" and message.get("event") == name and where(message.get("body", {})):
                    del self.events[:i + 1]
                    return message.get("body", {})
            left = deadline - time.monotonic()
            if left <= 0:
                raise TimeoutError("no %s event" % name)
            self.events.append(self.read(left))

    def wait(self, timeout=30):
        self.proc.stdin.close()
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
