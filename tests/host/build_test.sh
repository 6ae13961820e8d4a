# nxs build and nxs ed Build: real projects built by fpc and g++ through the engine, their
# messages, make and clean, groups with dependencies (also a cycle written by hand), and an
# interrupted build.
. "$(dirname "$0")/lib.sh"

# Command lines in the "Build" group are left out here, so that the messages are the compilers'.
"$NXS" options set Compiling ShowCommandLine False

# The lines of a build's output without the elapsed time, which varies.
build_lines() { "$NXS" build "$@" 2>&1 | grep -v '^Elapsed time: '; }
# The files under DIR written after the stamp.
written_since() { (cd "$1" && find . -newer "$WORK/stamp" -type f -name "$2" | sort); }
# Everything written before the stamp is older than it, and everything after newer, also to fpc,
# which keeps whole seconds.
stamp() {
  touch "$WORK/stamp"
  next_second "$WORK/stamp" && touch "$WORK/stamp" && next_second "$WORK/stamp" || fail "the clock stands still"
}

# ---- A Pascal program with a unit that does not compile --------------------------------------
mkdir pas && cd pas
"$NXS" project new p.vproj --personality Vellum.Personality >/dev/null
printf 'program p;\n\n{$mode objfpc}{$H+}\n\nuses u;\n\nbegin\n  WriteLn(Twice(21));\nend.\n' > p.vpr
printf 'unit u;\n\n{$mode objfpc}\n\ninterface\n\nfunction Twice(X: Integer): Integer;\n\nimplementation\n\n' > u.pas
printf 'function Twice(X: Integer): Integer;\nbegin\n  Result := X * 2\n  Result := Result + 0;\nend;\n\nend.\n' >> u.pas
"$NXS" project add p.vproj u.pas
cp u.pas u.orig

checks=$((checks + 1))
out=$(build_lines p.vproj); rc=${PIPESTATUS[0]}
echo "$out" | grep -qx '\[fpc Error\] u.pas(14): Syntax error, ";" expected but "identifier RESULT" found' ||
  fail "the syntax error names the unit and its line: $out"
[ "$(echo "$out" | tail -1)" == "Failed" ] || fail "a failed build ends Failed: $out"
expect_status "a failed build exits 1" 1 "" "$NXS" build p.vproj
expect_status "gcc form exits 1" 1 "" "$NXS" build p.vproj --messages gcc
checks=$((checks + 1))
grep -qx "$WORK/pas/u.pas:14:3: error: Syntax error, \";\" expected but \"identifier RESULT\" found" "$WORK/stdout" ||
  fail "the gcc form: $(cat "$WORK/stdout")"

# The editor builds its own text: the error is where GotoMessage goes; the fix, unsaved, builds;
# the file on disk stays as it was.
make_line=$(targets_line Vellum.Common.Targets '<PascalCompiler ')
expect_out "ed Build" '[fpc Error] u.pas(14): Syntax error, ";" expected but "identifier RESULT" found
[fpc Error] Vellum.Common.Targets('"$make_line"'): Compilation aborted
[fpc Error] Vellum.Common.Targets('"$make_line"'): /usr/bin/ppcx64 returned an error exitcode
Failed
14 3
Success
true' bash -c "printf '%s\n' Build 'GotoMessage 1' 'GoToLine 13 18' 'InsertText ;' Build Modified |
  '$NXS' ed u.pas | grep -v '^Elapsed time: '"
same_file "the fix was not saved" u.pas u.orig
expect_out "the program built from the editor's text runs" "42" ./p
echo "unit lone;" > "$WORK/lone.pas"
expect_status "ed Build of a file no project holds" 1 "nxs: line 1: no project holds $WORK/lone.pas" \
  "$NXS" ed "$WORK/lone.pas" --script <(printf 'Build\n')
cd "$WORK"

# ---- C++: make recompiles what changed and what includes it; clean takes every output -------
mkdir -p cpp/src && cd cpp
"$NXS" project new c.kzproj --personality Kestrel.Personality >/dev/null
printf '#pragma once\ninline int Two() { return 2; }\n' > src/two.h
printf 'int One() { return 1; }\n' > src/one.cpp
printf '#include "two.h"\nint TwoToo() { return Two(); }\n' > src/two.cpp
printf '#include <cstdio>\nint One();\nint TwoToo();\nint main() { std::printf("%%d\\n", One() + TwoToo()); }\n' > src/main.cpp
"$NXS" project add c.kzproj src/one.cpp src/two.cpp src/main.cpp
echo "notes" > notes.txt
find . -type f | sort > "$WORK/before"
expect_status "a C++ build" 0 "" "$NXS" build c.kzproj -j 2
expect_out "the C++ program runs" "3" ./c
stamp
expect_out "make with nothing to do" "Success" bash -c "'$NXS' build c.kzproj | head -1"
expect_out "rewrote nothing" "" written_since . '*.o'
stamp
touch src/one.cpp
"$NXS" build c.kzproj >/dev/null
expect_out "a touched source: only it" "./obj/src/one.cpp.o" written_since . '*.o'
stamp
touch src/two.h
"$NXS" build c.kzproj >/dev/null
expect_out "a touched header: only what includes it" "./obj/src/two.cpp.o" written_since . '*.o'
expect_status "clean" 0 "" "$NXS" build c.kzproj --mode clean
find . -type f | sort > "$WORK/after"
same_file "clean leaves what was there before the first build, and nothing less" "$WORK/before" "$WORK/after"
cd "$WORK"

# ---- The form editors read: each diagnostic once, its context before it, no command lines ----
# (g++ quotes with plain quotes in the C locale.)
mkdir gcc && cd gcc
"$NXS" project new g.kzproj --personality Kestrel.Personality >/dev/null
printf 'inline int g() { return y; }\n' > h.h
printf '#include "h.h"\nvoid f(int);\nint main() { f(); return g(); }\n' > main.cpp
"$NXS" project add g.kzproj main.cpp
"$NXS" project new n.vproj --personality Vellum.Personality >/dev/null
printf 'program n;\nvar x: integer;\nbegin\nend.\n' > n.vpr
"$NXS" config set n.vproj Pascal_ShowNotes true --config Base >/dev/null
"$NXS" options set Compiling ShowCommandLine True
expect_out "g++ diagnostics as g++ prints them" "In file included from $WORK/gcc/main.cpp:1
$WORK/gcc/h.h: In function 'int g()'
$WORK/gcc/h.h:1:25: error: 'y' was not declared in this scope
$WORK/gcc/main.cpp: In function 'int main()'
$WORK/gcc/main.cpp:3:15: error: too few arguments to function 'void f(int)'
$WORK/gcc/main.cpp:2:6: note: declared here
Failed" bash -c "LC_ALL=C '$NXS' build g.kzproj --messages gcc | grep -v '^Elapsed time: '"
expect_out "an fpc note says note once" "$WORK/gcc/n.vpr:2:5: note: Local variable \"x\" not used
Success" bash -c "'$NXS' build n.vproj --messages gcc | grep -v '^Elapsed time: '"
expect_out "the view keeps the command line and nests the context under its error" "g++ command line for \"g.kzproj\"
[g++ Error] h.h(1): 'y' was not declared in this scope
  main.cpp(1): In file included from $WORK/gcc/main.cpp:1" bash -c "LC_ALL=C '$NXS' build g.kzproj | head -4 | sed -n '1p;3,4p'"
"$NXS" options set Compiling ShowCommandLine False
cd "$WORK"

# ---- A make with nothing to do starts no tool; each changed input makes what it must --------
mkdir -p mk/src tools && cd mk
# ninja and the compiler as scripts that note each run.
for t in ninja:ninja cxx:g++; do
  printf '#!/bin/sh\necho "$@" >> "%s/tools/runs.log"\nexec %s "$@"\n' "$WORK" "${t#*:}" > "$WORK/tools/${t%%:*}"
  chmod +x "$WORK/tools/${t%%:*}"
done
"$NXS" project new m.kzproj --personality Kestrel.Personality >/dev/null
printf '#pragma once\n#ifdef LOUD\n#define GREETING "HELLO"\n#else\n#define GREETING "hello"\n#endif\n' > src/m.h
printf '#include <cstdio>\n#include "m.h"\nint main() { std::printf("%%s %%d\\n", GREETING, LEVEL); }\n' > src/main.cpp
"$NXS" project add m.kzproj src/main.cpp
# An import of the project's own, which sets an option.
printf '<Project xmlns="http://schemas.microsoft.com/developer/msbuild/2003">\n  <PropertyGroup><ExtraOptions>-DLEVEL=1</ExtraOptions></PropertyGroup>\n</Project>\n' > level.props
sed -i 's|^    <Import Project="$(NXS)|    <Import Project="level.props"/>\n&|' m.kzproj
"$NXS" config set m.kzproj Ninja "$WORK/tools/ninja" --config Base >/dev/null
"$NXS" config set m.kzproj Cpp_Compiler "$WORK/tools/cxx" --config Base >/dev/null
runs() { cat "$WORK/tools/runs.log" 2>/dev/null | wc -l; }
expect_status "the first make" 0 "" "$NXS" build m.kzproj
expect_out "it runs" "hello 1" ./m
stamp
before=$(runs)
expect_status "make with nothing to do" 0 "" "$NXS" build m.kzproj
expect_out "starts no tool" "$before" runs
expect_out "and writes nothing" "" written_since . '*'
sed -i 's/LEVEL=1/LEVEL=2/' level.props
"$NXS" build m.kzproj >/dev/null
expect_out "an import changed: made again" "hello 2" ./m
"$NXS" config set m.kzproj Defines LOUD --config Base >/dev/null
"$NXS" build m.kzproj >/dev/null
expect_out "the project file's options changed: made again" "HELLO 2" ./m
stamp
printf '#!/bin/sh\n# another compiler\necho "$@" >> "%s/tools/runs.log"\nexec g++ "$@"\n' "$WORK" > "$WORK/tools/cxx"
"$NXS" build m.kzproj >/dev/null
expect_out "the compiler replaced: compiled again" "./obj/src/main.cpp.o" written_since . '*.o'
stamp
before=$(runs)
"$NXS" build m.kzproj >/dev/null
expect_out "then nothing to do again" "$before" runs
cd "$WORK"

# ---- A compiler found on PATH as a shell finds it ------------------------------------------
# An fpc that may not run, and a folder of that name, earlier on PATH are passed over; when
# nothing runs, each place tried is named with the reason.
mkdir -p q bad/one bad/two/fpc && cd q
printf '#!/bin/sh\necho not a compiler\n' > "$WORK/bad/one/fpc"
chmod 644 "$WORK/bad/one/fpc"
"$NXS" project new q.vproj --personality Vellum.Personality >/dev/null
printf 'program q;\nbegin\n  WriteLn(42);\nend.\n' > q.vpr
expect_status "unrunnable ones earlier on PATH" 0 "" env PATH="$WORK/bad/one:$WORK/bad/two:$PATH" "$NXS" build q.vproj
expect_out "the real compiler made it" "42" ./q
checks=$((checks + 1))
out=$(PATH="$WORK/bad/one:$WORK/bad/two:$WORK/nowhere" "$NXS" build q.vproj --mode build 2>&1)
echo "$out" | grep -qxF "[Error] Vellum.Common.Targets($(targets_line Vellum.Common.Targets 'BuildAll="true"')): The compiler \"fpc\" could not be started: $WORK/bad/one/fpc: Permission denied; $WORK/bad/two/fpc: Is a directory; no \"fpc\" in $WORK/nowhere." ||
  fail "nothing runs: what was tried and why: $out"
cd "$WORK"

# ---- A group: dependencies first, each project once, from a project on ----------------------
# group_of_programs NAME...: a C++ program project NAME/NAME.kzproj for each NAME, and the group
# g.groupproj of them.
group_of_programs() {
  local p projects=()
  for p in "$@"; do
    mkdir $p
    "$NXS" project new $p/$p.kzproj --personality Kestrel.Personality >/dev/null
    printf 'int main() { return 0; }\n' > $p/$p.cpp
    "$NXS" project add $p/$p.kzproj $p/$p.cpp
    projects+=("$p/$p.kzproj")
  done
  "$NXS" group new g.groupproj
  "$NXS" group add g.groupproj "${projects[@]}"
}
mkdir grp && cd grp
group_of_programs a b c
for p in a b c; do
  "$NXS" config set $p/$p.kzproj PostBuildEvent "echo $p >> ../built.txt" --config Base >/dev/null
done
"$NXS" group depend g.groupproj a --on c
expect_status "a group" 0 "" "$NXS" build g.groupproj
expect_out "c before a, each once" "c
a
b" cat built.txt
rm built.txt
expect_status "from b on" 0 "" "$NXS" build g.groupproj --from b --mode build
expect_out "only b and c" "b
c" cat built.txt
rm built.txt
expect_status "from a project not in the group" 1 "nxs: nothing is not a project of group g" \
  "$NXS" build g.groupproj --from nothing
expect_status "a build group the file does not have" 1 'nxs: No build group named "Nightly"' \
  "$NXS" build g.groupproj --buildgroup Nightly
# A cycle written by hand: c depends on a, which depends on c. Each project builds once and the
# cycle is reported.
sed -i 's|<Target Name="c">|<Target Name="c" DependsOnTargets="a">|' g.groupproj
expect_status "a group with a cycle" 0 "nxs: c cannot depend on a: that would make the cycle c -> a -> c" \
  "$NXS" build g.groupproj
expect_out "each project of the cycle once" "a
b
c" bash -c 'sort built.txt'
cd "$WORK"

# ---- A group whose projects cannot all be opened fails, naming them, and builds nothing -----
mkdir broken && cd broken
group_of_programs a b c
rm b/b.kzproj
echo 'not a project' > c/c.kzproj
expect_status "a group with a missing and an unreadable project" 1 "" "$NXS" build g.groupproj
checks=$((checks + 1))
[ "$(grep -v '^Elapsed time' "$WORK/stdout")" == "[Error] The project \"$WORK/broken/b/b.kzproj\" of the group could not be opened
[Error] The project \"$WORK/broken/c/c.kzproj\" of the group could not be opened
Failed" ] || fail "each project that could not be opened is named: $(cat "$WORK/stdout")"
checks=$((checks + 1))
[ ! -e a/a ] || fail "the projects that could be opened are not built"
cd "$WORK"

# ---- The sample group: libraries and the programs that use them ----------------------------
cp -r "$ROOT/examples/group" sample && cd sample
# What a build wrote, without the records of ninja and of the compile task.
written_outputs() { written_since . '*' | grep -v '/\.ninja_\|/build\.record$'; }
expect_status "the sample group" 0 "" "$NXS" build demo.groupproj
stamp
expect_status "make with nothing to do" 0 "" "$NXS" build demo.groupproj
expect_out "make with nothing to do rewrites nothing" "" written_since . '*'
touch cpplib/include/units.h
stamp
"$NXS" build demo.groupproj >/dev/null
expect_out "a library's header: its object, the library and the program linking it" "./cppapp/cppapp
./cpplib/libcpplib.a
./cpplib/obj/src/describe.cpp.o" written_outputs
printf '\n' >> pasutil/pasutil.pas
stamp
"$NXS" build demo.groupproj >/dev/null
checks=$((checks + 1))
written_since . 'pasapp' | grep -qx ./pasapp/pasapp || fail "a changed library unit compiles the program using it again"
stamp
"$NXS" config set pasapp/pasapp.vproj Defines LOUDER --config Base >/dev/null
"$NXS" build demo.groupproj >/dev/null
checks=$((checks + 1))
written_since . 'pasapp' | grep -qx ./pasapp/pasapp || fail "changed options compile the program again"
cd "$WORK"

# ---- Interrupted: the tool is stopped and the build ends Failed -----------------------------
"$NXS" config set grp/b/b.kzproj PreBuildEvent 'sleep 37.25' --config Base >/dev/null
# A job started with & ignores SIGINT, as the shell arranges, and nxs leaves an ignored signal
# ignored; a user's Ctrl-C reaches a build whose SIGINT has its default action.
env --default-signal=INT "$NXS" build grp/b/b.kzproj > interrupted.txt 2>&1 &
pid=$!
tool_runs() { grep -q 'sleep 37.25' /proc/[0-9]*/cmdline 2>/dev/null; }
wait_until 20 tool_runs
kill -INT $pid
wait $pid
rc=$?
checks=$((checks + 1))
[ $rc -eq 1 ] || fail "an interrupted build exits 1, not $rc"
checks=$((checks + 1))
grep -qx Failed interrupted.txt || fail "an interrupted build ends Failed: $(cat interrupted.txt)"
checks=$((checks + 1))
wait_until 5 eval '! tool_runs' || fail "the interrupted tool still runs"

# ---- Usage -------------------------------------------------------------------------------------
expect_status "an unknown mode" 2 "nxs: unknown mode 'fast' (make, build, clean, check or link)" \
  "$NXS" build grp/g.groupproj --mode fast
expect_status "--from needs a group" 2 "nxs: --from and --buildgroup need a group file" \
  "$NXS" build grp/a/a.kzproj --from a
finish
