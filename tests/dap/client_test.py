"""The real `nxs dap` driven over pipes by a scripted client, with the gdb kernel loaded as an
IDE package: the examples' C++ program launched from its project (made first), stopped at a
breakpoint, read, stepped out of and run to its end; a program of the test's own launched
with arguments and a working folder, with a hit condition, a condition, a log point, a step,
a pause, terminate and attach; the breakpoints kept in the project's desktop; malformed input
answered while the adapter stays up. No gdb or debuggee survives a session."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import dapclient  # noqa: E402

NXS, ROOT, GDBMI = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []


def check(what, got, want):
    if got != want:
        failures.append("%s:\n  got  %r\n  want %r" % (what, got, want))


def survivors(mark):
    """Processes other than this one whose command line names mark."""
    found = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit() or int(pid) == os.getpid():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmdline = f.read().replace(b"\0", b" ").decode(errors="replace")
            with open("/proc/%s/stat" % pid) as f:
                zombie = f.read().rsplit(")", 1)[1].split()[0] == "Z"
        except OSError:
            continue
        if mark in cmdline and not zombie:
            found.append((int(pid), cmdline))
    return found


def check_none_survive(what, mark):
    deadline = time.monotonic() + 10
    while survivors(mark) and time.monotonic() < deadline:
        time.sleep(0.05)
    check(what + ": processes left", survivors(mark), [])


def start(work, env):
    client = dapclient.Client(NXS, env=env, cwd=work)
    caps = client.call("initialize", {"adapterID": "nxs", "linesStartAt1": True, "pathFormat": "path"})
    for cap in ("supportsConfigurationDoneRequest", "supportsConditionalBreakpoints",
                "supportsHitConditionalBreakpoints", "supportsLogPoints", "supportsTerminateRequest"):
        check("capability " + cap, caps.get(cap), True)
    return client


def end(client, what):
    client.call("disconnect")
    check(what + ": exit status", client.wait(), 0)


def top_frame(client, thread):
    frame = client.call("stackTrace", {"threadId": thread})["stackFrames"][0]
    return frame, (os.path.basename(frame["source"]["path"]), frame["line"])


def variables(client, frame_id, scope):
    scopes = client.call("scopes", {"frameId": frame_id})["scopes"]
    ref = [s for s in scopes if s["name"] == scope][0]["variablesReference"]
    found = client.call("variables", {"variablesReference": ref})["variables"]
    check("a type the kernel does not know is left out", [v["name"] for v in found if v.get("type") == ""], [])
    return {v["name"]: v["value"] for v in found}


def project_session(work, env):
    """The examples' C++ program from its project: made at launch, stopped in a library
    function, a local of its caller read, stepped out of, run to its end."""
    group = os.path.join(work, "my group")
    project = os.path.join(group, "cppapp", "cppapp.kzproj")
    program = os.path.join(group, "cppapp", "cppapp")
    area = os.path.join(group, "cpplib", "src", "area.cpp")
    describe = os.path.join(group, "cpplib", "src", "describe.cpp")
    check("the program is not built before the launch", os.path.exists(program), False)

    # A make that fails: the launch is refused, and the compiler's error reached the client
    # before the answer, at its place.
    main_cpp = os.path.join(group, "cppapp", "src", "main.cpp")
    with open(main_cpp) as f:
        good = f.read()
    with open(main_cpp, "w") as f:
        f.write(good.replace("return 0;", "return 0 +;"))
    client = start(work, env)
    try:
        reply = client.response(client.request("launch", {"project": project}), timeout=120)
        check("a launch whose make fails", (reply["success"], "could not be made" in reply.get("message", "")),
              (False, True))
        placed = [(m["body"]["line"], m["body"].get("column")) for m in client.events
                  if m.get("event") == "output" and m["body"].get("source", {}).get("path") == main_cpp]
        check("the compiler's error told before the answer, at its place", placed[:1], [(8, 13)])
        end(client, "failed make")
    finally:
        client.kill()
    with open(main_cpp, "w") as f:
        f.write(good)

    client = start(work, env)
    try:
        # As an editor asks: its own keys beside the adapter's.
        client.call("launch", {"type": "nxs", "request": "launch", "name": "cppapp", "project": project,
                               "__sessionId": "4f1c"}, timeout=120)
        check("the launch made the project", os.path.exists(program), True)
        client.event("initialized")
        check("no exception filters, none asked for",
              client.call("setExceptionBreakpoints", {"filters": []}), {"breakpoints": []})
        placed = client.call("setBreakpoints", {"source": {"path": area},
                                                "breakpoints": [{"line": 3, "hitCondition": " 1 "}]})["breakpoints"]
        check("a breakpoint is unverified before the program runs",
              [(b["line"], b["verified"]) for b in placed], [(3, False)])
        # Hit once only: a pass count of 2 never stops.
        client.call("setBreakpoints", {"source": {"path": describe}, "breakpoints": [{"line": 8, "hitCondition": "2"}]})
        client.call("configurationDone")
        # An editor asks for the threads at once, while the program may still run.
        client.call("threads")
        planted = client.event("breakpoint", where=lambda b: b["breakpoint"]["id"] == placed[0]["id"])
        check("the kernel verified the breakpoint", (planted["reason"], planted["breakpoint"]["verified"],
                                                     planted["breakpoint"]["line"]), ("changed", True, 3))
        stop = client.event("stopped")
        check("the stop", (stop["reason"], stop.get("hitBreakpointIds")), ("breakpoint", [placed[0]["id"]]))
        thread = stop["threadId"]
        check("the thread", [t["id"] for t in client.call("threads")["threads"]], [thread])
        frames = client.call("stackTrace", {"threadId": thread})["stackFrames"]
        check("the stack", [(f["name"].split("(")[0].split("[")[0], os.path.basename(f["source"]["path"]), f["line"])
                            for f in frames],
              [("Area", "area.cpp", 3), ("Describe", "describe.cpp", 8), ("main", "main.cpp", 7)])
        check("the caller's local", variables(client, frames[2]["id"], "Locals"), {"R": "{Width = 3, Height = 4}"})
        # A record opens into its members, in the variables and in what an expression gives.
        scopes = client.call("scopes", {"frameId": frames[2]["id"]})["scopes"]
        ref = [s for s in scopes if s["name"] == "Locals"][0]["variablesReference"]
        record = [v for v in client.call("variables", {"variablesReference": ref})["variables"] if v["name"] == "R"][0]
        members = client.call("variables", {"variablesReference": record["variablesReference"]})["variables"]
        check("a record's members", [(v["name"], v["value"], v["variablesReference"]) for v in members],
              [("Width", "3", 0), ("Height", "4", 0)])
        whole = client.call("evaluate", {"expression": "R", "frameId": frames[2]["id"], "context": "watch"})
        members = client.call("variables", {"variablesReference": whole["variablesReference"]})["variables"]
        check("an expression's members", [(v["name"], v["value"]) for v in members], [("Width", "3"), ("Height", "4")])
        check("an expression", client.call("evaluate", {"expression": "R.Width * R.Height", "frameId": frames[0]["id"],
                                                        "context": "watch"})["result"], "12")
        bad = client.response(client.request("evaluate", {"expression": "NoSuchName", "frameId": frames[0]["id"]}))
        check("an expression that fails", (bad["success"], "NoSuchName" in bad.get("message", "")), (False, True))

        client.call("stepOut", {"threadId": thread})
        client.event("continued")
        stop = client.event("stopped")
        check("the step out", (stop["reason"], top_frame(client, thread)[1]), ("step", ("describe.cpp", 8)))

        client.call("continue", {"threadId": thread})
        check("the end", client.event("exited"), {"exitCode": 0})
        client.event("terminated")
        check("the program's output", "3 x 4 = 12 square metres\n" in client.output, True)
        end(client, "project session")
    finally:
        client.kill()
    check_none_survive("project session", program)

    # The next session finds the breakpoints in the project's desktop and tells the client.
    client = start(work, env)
    try:
        client.call("launch", {"project": project}, timeout=120)
        kept = [client.event("breakpoint")["breakpoint"] for _ in range(2)]
        check("the breakpoints kept in the desktop", sorted((b["source"]["path"], b["line"]) for b in kept),
              sorted([(area, 3), (describe, 8)]))
        end(client, "second project session")
    finally:
        client.kill()


def program_session(work, env, program):
    """A program launched with arguments and a folder: a hit condition, a condition, a log
    point that never stops, a step, and the exit code."""
    source = os.path.join(ROOT, "tests", "dap", "data", "loop.cpp")
    folder = os.path.join(work, "run here")
    os.makedirs(folder)
    client = start(work, env)
    try:
        client.call("launch", {"program": program, "args": ["first", "c"], "cwd": folder})
        client.event("initialized")
        placed = client.call("setBreakpoints", {"source": {"path": source}, "breakpoints": [
            {"line": 10, "hitCondition": "3"},
            {"line": 11, "condition": "N == 4"},
            {"line": 15, "logMessage": "cube of {N} is {N * N * N}"},
            {"line": 12, "hitCondition": "every other"}]})["breakpoints"]
        check("a hit condition that is no pass count is refused",
              (placed[3]["verified"], "pass count" in placed[3].get("message", ""), "id" in placed[3]), (False, True, False))
        client.call("configurationDone")

        stop = client.event("stopped")
        frame, where = top_frame(client, stop["threadId"])
        check("the third pass stops", (stop["reason"], where, variables(client, frame["id"], "Arguments")),
              ("breakpoint", ("loop.cpp", 10), {"N": "3"}))
        client.call("next", {"threadId": stop["threadId"]})
        stop = client.event("stopped")
        frame, where = top_frame(client, stop["threadId"])
        check("a step passes a breakpoint whose condition fails", (stop["reason"], where), ("step", ("loop.cpp", 11)))
        client.call("continue", {"threadId": stop["threadId"]})
        stop = client.event("stopped")
        frame, where = top_frame(client, stop["threadId"])
        check("the condition holds", (stop["reason"], where, variables(client, frame["id"], "Locals")),
              ("breakpoint", ("loop.cpp", 11), {"Result": "16"}))
        client.call("continue", {"threadId": stop["threadId"]})
        check("the exit code", client.event("exited"), {"exitCode": 3})
        client.event("terminated")
        out = client.output
        logged = [line for line in out.splitlines() if "cube of" in line]
        check("the log point's messages", logged, ["cube of %d is %d" % (n, n ** 3) for n in range(1, 6)])
        check("the arguments and the folder", "first 280 %s\n" % folder in out, True)
        end(client, "program session")
    finally:
        client.kill()
    check_none_survive("program session", program)

    # Stopped at its entry, then paused while it waits, then terminated.
    client = start(work, env)
    try:
        client.call("launch", {"program": program, "args": ["wait"], "stopOnEntry": True})
        client.call("configurationDone")
        stop = client.event("stopped")
        check("the stop at the entry", (stop["reason"], top_frame(client, stop["threadId"])[0]["name"].split("(")[0]),
              ("entry", "main"))
        client.call("continue", {"threadId": stop["threadId"]})
        deadline = time.monotonic() + 20
        while not survivors(program + " wait") and time.monotonic() < deadline:
            time.sleep(0.05)
        client.call("pause", {"threadId": 1})
        check("the pause", client.event("stopped")["reason"], "pause")
        client.call("terminate")
        client.event("exited")
        client.event("terminated")
        end(client, "terminated session")
    finally:
        client.kill()
    check_none_survive("terminated session", program)

    # Attached to a process that waits; the disconnect detaches and it runs on.
    waiting = subprocess.Popen([program, "wait"], stdout=subprocess.DEVNULL)
    client = start(work, env)
    try:
        client.call("attach", {"processId": waiting.pid})
        client.event("initialized")
        reply = client.response(client.request("configurationDone"))
        if not reply["success"]:
            print("attach skipped: %s" % reply.get("message"))
        else:
            check("the attach stops", client.event("stopped")["reason"], "pause")
            end(client, "attached session")
            check("the detached process runs on", waiting.poll(), None)
    finally:
        client.kill()
        waiting.kill()
        waiting.wait()


def malformed(work, env):
    client = dapclient.Client(NXS, env=env, cwd=work)
    try:
        def expect_fault(what, raw, word):
            client.send_raw(raw)
            message = client.read()
            check(what, (message.get("event"), message.get("body", {}).get("category"),
                         word in message.get("body", {}).get("output", "")), ("output", "important", True))
        expect_fault("invalid JSON", b"Content-Length: 5\r\n\r\n{oops", "JSON")
        expect_fault("bad length", b"Content-Length: five\r\n\r\n", "Content-Length")
        expect_fault("no length", b"Content-Type: x\r\n\r\n", "Content-Length")
        expect_fault("not a request", client.frame({"seq": 1, "type": "ping"}), "request")
        # A length over the adapter's bound: the content is counted past, and the request
        # after it is served.
        expect_fault("huge length", b"Content-Length: %d\r\n\r\n" % (4 * 1024 * 1024 + 1), "exceeds")
        for _ in range(4):
            client.send_raw(b"x" * (1024 * 1024))
        client.send_raw(b"x")

        reply = client.response(client.request("threads"))
        check("a request before initialize", (reply["success"], reply["command"]), (False, "threads"))
        client.call("initialize", {"adapterID": "nxs"})
        reply = client.response(client.request("initialize", {"adapterID": "nxs"}))
        check("initialize twice", reply["success"], False)
        reply = client.response(client.request("noSuchCommand"))
        check("an unknown command", (reply["success"], reply["message"], reply["body"]["error"]["format"]),
              (False, 'Unrecognized request "noSuchCommand"', 'Unrecognized request "noSuchCommand"'))
        client.send_raw(client.frame({"seq": "x", "type": "request", "command": "threads"}))
        reply = client.read()
        check("a request with a seq that is no number", (reply["type"], reply["success"]), ("response", False))
        reply = client.response(client.request("launch", {}))
        check("a launch of nothing", (reply["success"], reply["message"]), (False, 'launch needs a "program" or a "project"'))
        reply = client.response(client.request("launch", {"program": "/nowhere/app"}))
        check("a launch of a program that is not there", (reply["success"], reply["message"]),
              (False, "There is no program /nowhere/app to run"))
        reply = client.response(client.request("stackTrace", {"threadId": "one"}))
        check("an argument of the wrong type", reply["success"], False)
        reply = client.response(client.request("setBreakpoints", {"source": {"path": "/nowhere/x.cpp"},
                                                                  "breakpoints": [{"line": "ten"}]}))
        check("a breakpoint without a line", reply["success"], False)
        check("the seq numbers rise", client.call("threads"), {"threads": []})
        end(client, "malformed session")
    finally:
        client.kill()

    # The input ending without disconnect: status 1, and a header cut short is told first.
    client = dapclient.Client(NXS, env=env, cwd=work)
    client.send_raw(b"Content-Length: 10\r\n")
    client.proc.stdin.close()
    check("exit status without disconnect", client.proc.wait(20), 1)
    out = client.proc.stdout.read()
    check("a truncated header told", b'"important"' in out and out.startswith(b"Content-Length: "), True)


def main():
    if not shutil.which("gdb") or not shutil.which("g++"):
        print("skipped: gdb or g++ is missing")
        return 0
    work = tempfile.mkdtemp(prefix="nxs dap ")
    try:
        env = dict(os.environ)
        env["NXS_SETTINGS_DIR"] = os.path.join(work, "settings")
        os.makedirs(env["NXS_SETTINGS_DIR"])
        with open(os.path.join(env["NXS_SETTINGS_DIR"], "settings.ini"), "w") as f:
            f.write('[IDEPackages]\n%s=""\n' % GDBMI)
        shutil.copytree(os.path.join(ROOT, "examples", "group"), os.path.join(work, "my group"))
        subprocess.run([NXS, "build", os.path.join(work, "my group", "cpplib", "cpplib.kzproj")], check=True,
                       capture_output=True, env=env)
        program = os.path.join(work, "loop")
        subprocess.run(["g++", "-g", "-O0", "-o", program, os.path.join(ROOT, "tests", "dap", "data", "loop.cpp")],
                       check=True)

        malformed(work, env)
        project_session(work, env)
        program_session(work, env, program)
    finally:
        for pid, _ in survivors(work):
            os.kill(pid, signal.SIGKILL)
        shutil.rmtree(work, ignore_errors=True)

    for f in failures:
        print("FAIL: " + f)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
