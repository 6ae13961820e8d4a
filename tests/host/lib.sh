# Helpers for the command-line tests: each test runs in its own scratch directory with its
# own settings directory; a failed check prints what differed and the script exits 1.
set -u
NXS=$1
ROOT=$2
WORK=$(mktemp -d)
export NXS_SETTINGS_DIR=$WORK/settings
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
