"""Neovim (0.7 or later) with its built-in language client on `nxs lsp`, headless, on a copy
of the examples group: folding by the server's ranges and the diagnostic of a syntax error
typed into a Pascal unit. Skipped (status 77) where Neovim is missing or older."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import lspclient  # noqa: E402

SKIP = 77
NXS, ROOT = os.path.abspath(sys.argv[1]), sys.argv[2]


def nvim_version():
    nvim = shutil.which("nvim")
    if not nvim:
        return None
    out = subprocess.run([nvim, "--version"], capture_output=True, text=True, timeout=30).stdout
    m = re.match(r"NVIM v(\d+)\.(\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


def main():
    version = nvim_version()
    if not version or version < (0, 7):
        print("skipped: Neovim 0.7 or later is not installed")
        return SKIP
    work = tempfile.mkdtemp()
    failures = []
    try:
        group = os.path.join(work, "group")
        shutil.copytree(os.path.join(ROOT, "examples/group"), group)
        unit = os.path.join(group, "pasutil/pasutil.pas")
        out = os.path.join(work, "seen.json")
        env = dict(os.environ, NXS_BIN=NXS, NXS_NVIM_ROOT=group, NXS_NVIM_FILE=unit, NXS_NVIM_OUT=out,
                   XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"),
                   XDG_STATE_HOME=os.path.join(work, "state"), XDG_CACHE_HOME=os.path.join(work, "cache"))
        env.setdefault("NXS_SETTINGS_DIR", os.path.join(work, "settings"))
        script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "nvim_client.lua")
        subprocess.run(["nvim", "--headless", "-n", "-i", "NONE", "-u", "NONE", "-c", "luafile " + script],
                       env=env, cwd=group, timeout=120, stdin=subprocess.DEVNULL, capture_output=True)
        with open(out) as f:
            seen = json.load(f)
        if seen.get("error") or not seen.get("started"):
            failures.append("the client did not get going: %r" % seen)
        else:
            # The folds are the server's ranges, which are the outline's regions of more than one line.
            want = []
            for line in lspclient.sh(NXS, "outline", unit).splitlines():
                m = re.match(r"^ *(\d+) (\d+) ", line)
                if m and int(m.group(2)) > int(m.group(1)):
                    want.append([int(m.group(1)), int(m.group(2))])
            if seen["folds"] != want or not want:
                failures.append("folds %r, want %r" % (seen["folds"], want))
            line, col = seen["typed"]
            diagnostics = seen["diagnostics"]
            if [(d["lnum"], d["col"], d["end_col"], d["severity"]) for d in diagnostics[:1]] != [(line, col, col + 9, 1)]:
                failures.append("diagnostics %r, want the error on 'Undefined' at line %d column %d" % (diagnostics, line, col))
        with open(unit, encoding="utf-8") as f, open(os.path.join(ROOT, "examples/group/pasutil/pasutil.pas"),
                                                     encoding="utf-8") as g:
            if f.read() != g.read():
                failures.append("the unit on disk changed")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print("FAIL: " + f)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
