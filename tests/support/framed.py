"""A peer over pipes that speaks the base protocol of the language server and the debug adapter:
JSON messages, each after a header whose Content-Length gives its size; every wait is bounded."""
import json
import os
import select
import subprocess
import time


class FramedPeer:
    def __init__(self, args, name, env=None, cwd=None):
        self.proc = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=env, cwd=cwd)
        self.name = name  # "the server", as the errors say
        self.buf = b""

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

    # -- reading
    def _fill(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError("no message from " + self.name)
        ready, _, _ = select.select([self.proc.stdout], [], [], left)
        if ready:
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise EOFError(self.name + " closed its output")
            self.buf += chunk

    def read_message(self, timeout):
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
                    return json.loads(rest[:length])
            self._fill(deadline)

    def wait(self, timeout):
        """Closes the peer's input and waits for it to end; returns its exit status."""
        self.proc.stdin.close()
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise
