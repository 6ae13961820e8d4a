# nxs build stopped from outside: interrupt, terminate and hang-up end the tools and the
# build (Failed, the cancel said), leaving no tool running; two builds of one group at once
# take turns.
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
  # A job started with & ignores SIGINT, as the shell arranges, and nxs leaves an ignored
  # signal ignored; a user's Ctrl-C reaches a build whose SIGINT has its default action.
  env --default-signal=INT "$NXS" build "$project" > "$WORK/stopped.txt" 2>&1 &
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
  stopped $sig cpp/c.kzproj "[Error] Kestrel.Common.Targets($(targets_line Kestrel.Common.Targets 'Phase="Compile"')): The build was cancelled"
done

mkdir pas && cd pas
"$NXS" project new p.vproj --personality Vellum.Personality >/dev/null
printf 'program p;\nbegin\nend.\n' > p.vpr
slow_tool slowpc "$WORK/tool.pid"
"$NXS" config set p.vproj Pascal_Compiler "$WORK/pas/slowpc" --config Base >/dev/null
cd "$WORK"
stopped TERM pas/p.vproj "[Error] Vellum.Common.Targets($(targets_line Vellum.Common.Targets '<PascalCompiler ')): The build was cancelled"

# ---- Two builds of one group at once: the second waits, or with --no-wait fails ------------
mkdir -p race/a && cd race
"$NXS" project new a/a.kzproj --personality Kestrel.Personality >/dev/null
printf '#include <cstdio>\nint main() { std::puts("raced"); }\n' > a/main.cpp
"$NXS" project add a/a.kzproj a/main.cpp
# A compiler that, the first time, says it runs and waits for the word to go on.
printf '#!/bin/sh\nif mkdir "%s" 2>/dev/null; then\n  echo $$ > "%s"\n  while [ ! -e "%s" ]; do sleep 0.05; done\nfi\nexec g++ "$@"\n' \
  "$WORK/gate" "$WORK/gate.pid" "$WORK/go" > gatecc
chmod +x gatecc
"$NXS" config set a/a.kzproj Cpp_Compiler "$WORK/race/gatecc" --config Base >/dev/null
"$NXS" group new g.groupproj
"$NXS" group add g.groupproj a/a.kzproj
"$NXS" build g.groupproj > "$WORK/first.txt" 2>&1 &
first=$!
checks=$((checks + 1))
wait_until 20 test -s "$WORK/gate.pid" || fail "the first build never compiled: $(cat "$WORK/first.txt")"
expect_status "a second build that does not wait" 1 "" "$NXS" build g.groupproj --no-wait
checks=$((checks + 1))
[ "$(grep -v '^Elapsed time' "$WORK/stdout")" == "[Error] Kestrel.Common.Targets($(targets_line Kestrel.Common.Targets '<LockIntermediateDir ')): Another build holds \"$WORK/race/a/obj\"; this one does not wait for it.
Failed" ] || fail "the second build says who holds the project: $(cat "$WORK/stdout")"
"$NXS" build g.groupproj > "$WORK/third.txt" 2>&1 &
third=$!
checks=$((checks + 1))
wait_until 20 grep -qx "Another build holds \"$WORK/race/a/obj\": waiting for it to end." "$WORK/third.txt" ||
  fail "a build that waits says so: $(cat "$WORK/third.txt")"
touch "$WORK/go"
wait $first
rc1=$?
wait $third
rc3=$?
checks=$((checks + 1))
[ $rc1 -eq 0 ] && [ $rc3 -eq 0 ] || fail "both builds succeed: $rc1 $(cat "$WORK/first.txt") / $rc3 $(cat "$WORK/third.txt")"
expect_out "the program they made runs" "raced" a/a
expect_status "the lock is free once both end" 0 "" "$NXS" build g.groupproj --no-wait
expect_status "clean" 0 "" "$NXS" build g.groupproj --mode clean
expect_out "nothing of the lock is left once the build's files are gone" "" find a -name '.nxs-lock'
cd "$WORK"

finish
