# Helpers for the command-line tests: each test runs in its own scratch directory with its
# own settings directory; a failed check prints what differed and the script exits 1.
set -u
NXS=$1
ROOT=$2
WORK=$(mktemp -d)
export NXS_SETTINGS_DIR=$WORK/settings
# Layouts and the environment's desktop live in the user's data folder.
export XDG_DATA_HOME=$WORK/data
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
failures=0
checks=0

# The line of a shipped targets file that holds TEXT (the first one): messages of a task name
# the line of its element, and the files move as targets are added.
targets_line() {
  grep -nF -m1 -- "$2" "$ROOT/data/targets/$1" | cut -d: -f1
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect_out "description" "expected stdout" command...
expect_out() {
  local what=$1 want=$2
  shift 2
  checks=$((checks + 1))
  local got
  got=$("$@" 2>"$WORK/stderr")
  local rc=$?
  if [ $rc -ne 0 ]; then fail "$what: exit $rc: $(cat "$WORK/stderr")"; return; fi
  [ "$got" == "$want" ] || fail "$what: got
$got
want
$want"
}

# expect_status "description" STATUS "expected stderr (or empty to skip)" command...
expect_status() {
  local what=$1 want=$2 msg=$3
  shift 3
  checks=$((checks + 1))
  "$@" >"$WORK/stdout" 2>"$WORK/stderr"
  local rc=$?
  [ $rc -eq "$want" ] || fail "$what: exit $rc, want $want: $(cat "$WORK/stderr")"
  if [ -n "$msg" ]; then
    [ "$(head -1 "$WORK/stderr")" == "$msg" ] || fail "$what: stderr $(head -1 "$WORK/stderr"), want $msg"
  fi
}

same_file() {
  local what=$1
  checks=$((checks + 1))
  cmp -s "$2" "$3" || fail "$what: $2 and $3 differ"
}

finish() {
  echo "$((checks - failures)) passed, $failures failed"
  [ $failures -eq 0 ]
}

# wait_until SECONDS command...: polls the command until it succeeds; fails after SECONDS.
wait_until() {
  local bound=$1 i
  shift
  for ((i = 0; i < bound * 20; i++)); do
    "$@" && return 0
    sleep 0.05
  done
  return 1
}

# next_second FILE: waits until a file written now is stamped a whole second later than FILE,
# so that what is written next is newer than FILE even to a tool that keeps whole seconds.
next_second() {
  local probe=$1.clock
  wait_until 5 _stamped_later "$probe" "$1"
  local rc=$?
  rm -f "$probe"
  return $rc
}
_stamped_later() { touch "$1" && [ "$(stat -c %Y "$1")" -gt "$(stat -c %Y "$2")" ]; }

# write_driver: makes ./drive.sh NXS FILE... < SCRIPT, which runs nxs ed on FILE... with the
# script's lines; a line starting with "!" runs in the shell between commands, once nxs has
# done every command before it.
write_driver() {
  cat > "$WORK/drive.sh" <<'EOS'
#!/bin/bash
nxs=$1; shift
dir=$(mktemp -d)
mkfifo "$dir/in" "$dir/out"
"$nxs" ed "$@" < "$dir/in" > "$dir/out" &
pid=$!
exec 3>"$dir/in" 4<"$dir/out"
while IFS= read -r line; do
  case "$line" in
    '!'*)
      printf 'Find - /@@sync@@/\n' >&3
      while IFS= read -r out <&4 && [ "$out" != "not found" ]; do printf '%s\n' "$out"; done
      bash -c "${line#!}" ;;
    *) printf '%s\n' "$line" >&3 ;;
  esac
done
exec 3>&-
cat <&4
wait "$pid"
rc=$?
rm -rf "$dir"
exit $rc
EOS
  chmod +x "$WORK/drive.sh"
}
