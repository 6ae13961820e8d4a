# A make with nothing to do replays the last one's output without opening a project: the same
# lines as the make that went the whole way, and only while nothing it depended on changed.
# Each change below is made after a replayed make, and the next make must build exactly what
# depends on it.
. "$(dirname "$0")/lib.sh"

# The shipped data from a copy, so that an import can be changed.
mkdir "$WORK/nxs" && cp -r "$ROOT/data" "$WORK/nxs/data"
export NXS_DATA_DIR=$WORK/nxs/data

# Two small libraries, each of two sources and a header.
mkdir grp && cd grp
for p in a b; do
  mkdir $p
  "$NXS" project new $p/$p.kzproj --personality Kestrel.Personality >/dev/null
  printf '#pragma once\nint One%s();\n' $p > $p/$p.h
  printf '#include "%s.h"\nint One%s() { return 1; }\n' $p $p > $p/one.cpp
  printf 'int Two%s() { return 2; }\n' $p > $p/two.cpp
  "$NXS" project add $p/$p.kzproj $p/one.cpp $p/two.cpp
  "$NXS" config set $p/$p.kzproj AppType StaticLibrary --config Base >/dev/null
done
# Project a is compiled with a define the environment gives.
"$NXS" config set a/a.kzproj Defines 'LEVEL=$(LEVEL)' --config Base >/dev/null
"$NXS" group new g.groupproj >/dev/null
"$NXS" group add g.groupproj a/a.kzproj b/b.kzproj

# The record of the group's makes: the one file of the records' folder.
record() { echo "$NXS_SETTINGS_DIR"/MakeRecords/*; }
# The record's identity: a make that replays leaves it; one that goes the whole way forgets it
# and writes it anew, or leaves none.
record_id() { stat -c '%i %y' "$(record)" 2>/dev/null || echo none; }
# The output of a make, the time of the elapsed line left out (it varies), into $WORK/out.
make_out() {
  "$NXS" build g.groupproj "$@" > "$WORK/out.raw" 2>&1
  local rc=$?
  sed 's/^\( *Elapsed time: \).*/\1T/' "$WORK/out.raw" > "$WORK/out"
  return $rc
}
# expect_replay "what": the make replays, byte for byte what the make before it printed.
expect_replay() {
  local before
  before=$(record_id)
  cp "$WORK/out" "$WORK/out.before" 2>/dev/null
  make_out "${@:2}"
  checks=$((checks + 1))
  [ "$before" != none ] && [ "$(record_id)" == "$before" ] || fail "$1: the make went the whole way"
  same_file "$1: the replay prints what the whole make printed" "$WORK/out" "$WORK/out.before"
}
# expect_whole "what" ARGS...: the make does not replay (and succeeds).
expect_whole() {
  local before
  before=$(record_id)
  make_out "${@:2}" || fail "$1: the make failed: $(cat "$WORK/out")"
  checks=$((checks + 1))
  [ "$(record_id)" != "$before" ] || fail "$1: the make replayed the record"
}
# The objects written since the stamp.
objects_since() { find . -newer "$WORK/stamp" -name '*.o' | sort; }
stamp() { touch "$WORK/stamp"; }
# A make that did work, then one that finds nothing to do and is recorded.
settle() {
  make_out "$@" || fail "a make failed: $(cat "$WORK/out")"
  make_out "$@" || fail "a make failed: $(cat "$WORK/out")"
  checks=$((checks + 1))
  [ "$(cat "$WORK/out")" == "Success
Elapsed time: T" ] || fail "a make with nothing to do after one that did work: $(cat "$WORK/out")"
}

make_out || fail "the first make: $(cat "$WORK/out")"
make_out
checks=$((checks + 1))
[ "$(record_id)" != none ] || fail "a make with nothing to do is recorded"
expect_out "what a make with nothing to do prints" "Success
Elapsed time: T" cat "$WORK/out"
expect_replay "nothing changed"
expect_replay "nothing changed, again"

# ---- Each change builds what depends on it ---------------------------------------------------
stamp
touch a/two.cpp
expect_whole "a source"
expect_out "a source: its object" "./a/obj/two.cpp.o" objects_since
settle
expect_replay "after a source"

stamp
printf '#pragma once\nint Onea();\n\n' > a/a.h
expect_whole "a header"
expect_out "a header: the object that includes it" "./a/obj/one.cpp.o" objects_since
settle

stamp
printf 'int Threeb() { return 3; }\n' > b/three.cpp
"$NXS" project add b/b.kzproj b/three.cpp
expect_whole "a project file"
expect_out "a project file: the source it adds" "./b/obj/three.cpp.o" objects_since
settle
expect_replay "after a project file"

stamp
printf '\n' >> "$NXS_DATA_DIR/targets/Kestrel.Common.Targets"
expect_whole "an import"
expect_out "an import: nothing to compile" "" objects_since
settle

stamp
printf '<?xml version="1.0" encoding="utf-8"?>\n<Project>\n</Project>\n' > a/a.kzproj.local
expect_whole "a local file that was not there"
settle
expect_replay "after a local file"

stamp
expect_whole "another configuration" --config Release
settle --config Release
expect_replay "the other configuration, again" --config Release
expect_whole "back to the first configuration"
settle

stamp
expect_whole "another number of jobs" -j 2
expect_out "another number of jobs: nothing to compile" "" objects_since
settle

stamp
export LEVEL=2
expect_whole "an environment variable a project reads"
expect_out "the environment: the objects of the project that reads it" "./a/obj/one.cpp.o
./a/obj/two.cpp.o" objects_since
settle
expect_replay "the same environment"
unset LEVEL
expect_whole "the environment as it was"
settle

# A source replaced by a rename, its size and time those of the old one.
stamp
cp -p b/two.cpp "$WORK/two.cpp"
printf 'int Twob() { return 4; }\n' > "$WORK/two.cpp"
touch -r b/two.cpp "$WORK/two.cpp"
mv "$WORK/two.cpp" b/two.cpp
expect_whole "a source renamed over with its size and time"
expect_out "a source renamed over: its object" "./b/obj/two.cpp.o" objects_since
settle

# ---- Failures are not recorded; a damaged record is not replayed -----------------------------
printf 'int Twob() { return 4 }\n' > b/two.cpp
make_out && fail "a make of a source that does not compile succeeds"
checks=$((checks + 1))
[ "$(record_id)" == none ] || fail "a failed make leaves a record"
cp "$WORK/out" "$WORK/failed"
make_out && fail "the failure made again succeeds"
checks=$((checks + 1))
grep -q "Error\] two.cpp(1)" "$WORK/out" && grep -qx "Failed" "$WORK/out" || fail "the failure is told again: $(cat "$WORK/out")"
printf 'int Twob() { return 2; }\n' > b/two.cpp
settle

head -c 200 "$(record)" > "$WORK/cut" && cat "$WORK/cut" > "$(record)"
expect_whole "a record cut short"
expect_out "a record cut short: the make's own output" "Success
Elapsed time: T" cat "$WORK/out"
expect_replay "a record written again"
printf 'nonsense\n' > "$(record)"
expect_whole "a record of another form"
expect_replay "a record written again"

# Two makes at once of the same group leave a whole record behind.
rm -f "$(record)"
"$NXS" build g.groupproj > "$WORK/one" 2>&1 &
"$NXS" build g.groupproj > "$WORK/two" 2>&1
two=$?
wait $!
one=$?
checks=$((checks + 1))
[ $one -eq 0 ] && [ $two -eq 0 ] || fail "two makes at once: $one $two"
make_out
expect_replay "after two makes at once"

# A project that runs a command at each make is made each time.
"$NXS" config set a/a.kzproj PostBuildEvent "echo a >> ../events.txt" --config Base >/dev/null
make_out
make_out
make_out
expect_out "a command at each make runs at each make" "a
a
a" cat events.txt

finish
