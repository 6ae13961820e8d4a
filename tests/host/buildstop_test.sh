# nxs build stopped from outside: interrupt, terminate and hang-up end the tools and the
# build (Failed, the cancel said), leaving no tool running; a link cut short leaves the last
# program whole; two builds of one group at once take turns.
. "$(dirname "$0")/lib.sh"

"$NXS" options set Compiling ShowCommandLine False

# A stand-in compiler that says it runs (its process id in FILE) and then takes its time.
slow_tool() {
  printf '#!/bin/sh\necho $$ > "%s"\nexec sleep 40.75\n' "$2" > "$1"
  chmod +x "$1"
}
# Whether the process whose id FILE holds has gone.
gone() { ! kill -0 "$(cat "$1")" 2>/dev/null; }
# Whether no process names DIR on its command line.
none_in() { ! grep -qsF "$1" /proc/[0-9]*/cmdline; }

# stopped SIGNAL PROJECT: builds PROJECT, sends SIGNAL once the tool runs, and checks the end.
stopped() {
  local sig=$1 project=$2 dir
  dir=$(dirname "$WORK/$project")
  rm -f "$WORK/tool.pid"
  "$NXS" build "$project" > "$WORK/stopped.txt" 2>&1 &
  local pid=$!
  checks=$((checks + 1))
  wait_until 20 test -s "$WORK/tool.pid" || fail "$sig $project: the tool never ran: $(cat "$WORK/stopped.txt")"
  kill -"$sig" $pid
  wait $pid
  local rc=$?
  checks=$((checks + 1))
  [ $rc -eq 1 ] || fail "$sig $project: exit $rc, want 1"
  checks=$((checks + 1))
  [ "$(grep -v '^Elapsed time' "$WORK/stopped.txt")" == "$3
Failed" ] || fail "$sig $project: $(cat "$WORK/stopped.txt")"
  checks=$((checks + 1))
  wait_until 5 gone "$WORK/tool.pid" || fail "$sig $project: the tool still runs"
  checks=$((checks + 1))
  wait_until 5 none_in "$dir/" || fail "$sig $project: still running: $(grep -lsF "$dir/" /proc/[0-9]*/cmdline)"
}

# ---- Stop signals: the C++ personality's ninja and compilers, and fpc ----------------------
mkdir cpp && cd cpp
"$NXS" project new c.kzproj --personality Kestrel.Personality >/dev/null
printf 'int main() { return 0; }\n' > main.cpp
"$NXS" project add c.kzproj main.cpp
slow_tool slowcc "$WORK/tool.pid"
"$NXS" config set c.kzproj Cpp_Compiler "$WORK/cpp/slowcc" --config Base >/dev/null
cd "$WORK"
for sig in TERM HUP INT; do
  stopped $sig cpp/c.kzproj '[Error] Kestrel.Common.Targets(39): The build was cancelled'
done

mkdir pas && cd pas
"$NXS" project new p.vproj --personality Vellum.Personality >/dev/null
printf 'program p;\nbegin\nend.\n' > p.vpr
slow_tool slowpc "$WORK/tool.pid"
"$NXS" config set p.vproj Pascal_Compiler "$WORK/pas/slowpc" --config Base >/dev/null
cd "$WORK"
stopped TERM pas/p.vproj '[Error] Vellum.Common.Targets(38): The build was cancelled'

finish
