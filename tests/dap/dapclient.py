"""A scripted debug adapter client: runs `nxs dap` over pipes and speaks the protocol to it."""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "support"))
from framed import FramedPeer  # noqa: E402


class Client(FramedPeer):
    def __init__(self, nxs, env=None, cwd=None):
        super().__init__([nxs, "dap"], "the adapter", env=env, cwd=cwd)
        self.seq = 0
        self.events = []  # events read while waiting for something else, oldest first
        self.output = ""  # the text of every output event read

    def request(self, command, arguments=None):
        self.seq += 1
        message = {"seq": self.seq, "type": "request", "command": command}
        if arguments is not None:
            message["arguments"] = arguments
        self.send(message)
        return self.seq

    def read(self, timeout=30):
        message = self.read_message(timeout)
        if message.get("event") == "output":
            self.output += message["body"]["output"]
        return message

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
        return super().wait(timeout)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
