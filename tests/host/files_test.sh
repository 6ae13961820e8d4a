# Files as users name and make them: sources whose names MSBuild would read as expressions
# build, projects with such names stay in their group, and what is no file at all (a pipe,
# a device, a folder) is refused at once by every command that reads a project.
. "$(dirname "$0")/lib.sh"

expect_status "new C++ project" 0 "" "$NXS" project new c.kzproj --personality Kestrel.Personality
printf 'int two();\nint three();\nint four();\nint main() { return two() + three() + four() - 9; }\n' > c.cpp
printf 'int two() { return 2; }\n' > 'x;y.cpp'
printf 'int three() { return 3; }\n' > 'd$(e).cpp'
printf 'int four() { return 4; }\n' > 'f%41.cpp'
expect_status "add them" 0 "" "$NXS" project add c.kzproj c.cpp 'x;y.cpp' 'd$(e).cpp' 'f%41.cpp'
expect_out "the engine sees the names as they are" 'c.cpp;x;y.cpp;d$(e).cpp;f%41.cpp' \
  "$NXS" eval c.kzproj KestrelCompile --item
expect_status "build them" 0 "" "$NXS" build c.kzproj
checks=$((checks + 1))
./c || fail "the program built from them runs"
expect_status "rename one" 0 "" "$NXS" project rename c.kzproj 'x;y.cpp' 'sub dir/x;z.cpp'
expect_status "build again" 0 "" "$NXS" build c.kzproj

# Projects named with blanks and separators, and two of one name, in one group.
mkdir one two
for p in "My Lib" "a;b" one/p two/p Build; do
  expect_status "new $p" 0 "" "$NXS" project new "$p.vproj" --personality Vellum.Personality
done
expect_status "new group" 0 "" "$NXS" group new g.groupproj
expect_status "add them" 0 "" \
  "$NXS" group add g.groupproj "My Lib.vproj" "a;b.vproj" one/p.vproj two/p.vproj Build.vproj
expect_status "depend" 0 "" "$NXS" group depend g.groupproj Build.vproj --on "a;b" one/p.vproj two/p.vproj
want="* My Lib.vproj
  a;b.vproj
  one/p.vproj
  two/p.vproj
  Build.vproj -> a;b, p, p"
expect_out "all of them read back" "$want" "$NXS" group show g.groupproj
expect_status "a change" 0 "" "$NXS" group activate g.groupproj two/p.vproj
expect_out "and still after a change" "  My Lib.vproj
  a;b.vproj
  one/p.vproj
* two/p.vproj
  Build.vproj -> a;b, p, p" "$NXS" group show g.groupproj
checks=$((checks + 1))
grep -q '<Target Name="two_p\|<Target Name="p_2"' g.groupproj || fail "the second p has a target of its own"

# Not a file: refused before it is opened, never waited on or read without end.
mkfifo pipe.vproj
for cmd in "eval $PWD/pipe.vproj Config" "project show $PWD/pipe.vproj" "config list pipe.vproj" "build pipe.vproj"; do
  # shellcheck disable=SC2086
  expect_status "$cmd" 1 "nxs: The project file \"$PWD/pipe.vproj\" could not be read: it is not a regular file" \
    timeout 20 "$NXS" $cmd
done
expect_status "a device" 1 'nxs: The project file "/dev/zero" could not be read: it is not a regular file' \
  timeout 20 "$NXS" eval /dev/zero Config
expect_status "a folder" 1 "nxs: The project file \"one\" could not be read: it is not a regular file" \
  "$NXS" project show one
finish
