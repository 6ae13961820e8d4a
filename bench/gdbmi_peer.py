#!/usr/bin/env python3
"""gdb driven directly on its machine interface, as a user's script would, with the commands
the gdb kernel sends: the peer of bench_gdbmi.

    gdbmi_peer.py break PROGRAM FILE LINE        time from starting gdb to the first stop
    gdbmi_peer.py step PROGRAM FILE LINE COUNT   then COUNT steps over, each to its stop
    gdbmi_peer.py pass PROGRAM FILE LINE COUNT   a breakpoint that stops on pass COUNT

Prints the measured time in milliseconds (per step for "step")."""
import os
import subprocess
import sys
import time


def main():
    mode, program, source, line = sys.argv[1:5]
    count = int(sys.argv[5]) if len(sys.argv) > 5 else 0
    start = time.perf_counter()
    gdb = subprocess.Popen(["gdb", "--interpreter=mi3", "-nx", "-q"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE, bufsize=0)
    token = [0]

    def send(command):
        token[0] += 1
        gdb.stdin.write(f"{token[0]}{command}\n".encode())
        return str(token[0])

    def answer(command):
        t = send(command)
        while True:
            out = gdb.stdout.readline()
            if not out:
                sys.exit("gdb ended")
            if out.startswith((t + "^").encode()):
                return out

    def until_stopped():
        while True:
            out = gdb.stdout.readline()
            if not out:
                sys.exit("gdb ended")
            if out.startswith(b"*stopped"):
                return out

    for setup in ("-gdb-set mi-async on", "-gdb-set confirm off", "-gdb-set pagination off",
                  "-gdb-set startup-with-shell off", "-gdb-set width 0", '-inferior-tty-set "/dev/null"',
                  f'-file-exec-and-symbols "{program}"', "-file-list-exec-source-files",
                  f'-environment-cd "{os.path.dirname(program)}"',
                  '-interpreter-exec console "set args hot 1000000"'):
        answer(setup)
    ignore = f" -i {count - 1}" if mode == "pass" else ""
    answer(f'-break-insert -f{ignore} --source "{source}" --line {line}')
    answer("-exec-run")
    until_stopped()
    if mode == "step":
        start = time.perf_counter()
        for _ in range(count):
            answer("-exec-next")
            until_stopped()
    elapsed = (time.perf_counter() - start) * 1000
    print(elapsed / count if mode == "step" else elapsed)
    send("-gdb-exit")
    gdb.wait()


main()
