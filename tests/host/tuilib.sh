# Helpers for the tests that drive nxs edit in a terminal as a person would: a tmux server of
# the test's own, keys sent to it, and waits on what its screen shows, each with a bound.
# Source after lib.sh.
TUI_SOCKET=nxs-edit-$$
trap 'tmux -L "$TUI_SOCKET" kill-server 2>/dev/null; rm -rf "$WORK"' EXIT

# tui_start ARGS...: nxs edit ARGS in a 120x40 terminal, in $WORK; its process id goes to
# $WORK/edit.pid and, when it ends, its exit status to the screen ("EXITED n").
tui_start() {
  local cmd="cd '$WORK' && sh -c 'echo \$\$ > \"$WORK/edit.pid\"; exec \"\$0\" \"\$@\"' '$NXS' edit"
  local a
  for a in "$@"; do cmd="$cmd '$a'"; done
  cmd="$cmd --log '$WORK/edit.log'; echo EXITED \$?; sleep 600"
  tmux -L "$TUI_SOCKET" -f /dev/null new-session -d -x 120 -y 40 \
    -e LANG=C.UTF-8 -e NXS_SETTINGS_DIR="$NXS_SETTINGS_DIR" -e XDG_DATA_HOME="$XDG_DATA_HOME" -e TERM=screen-256color "$cmd"
}

_tui_server_gone() { ! tmux -L "$TUI_SOCKET" has-session 2>/dev/null; }
# tui_restart ARGS...: ends the terminal server with what runs in it and starts nxs edit ARGS
# in a fresh one.
tui_restart() {
  tmux -L "$TUI_SOCKET" kill-server 2>/dev/null
  wait_until 10 _tui_server_gone || fail "the terminal server does not end"
  tui_start "$@"
}

screen() { tmux -L "$TUI_SOCKET" capture-pane -p; }
keys() { tmux -L "$TUI_SOCKET" send-keys "$@"; }
# Text typed as it stands (no key names). tmux takes a ";" that ends an argument for the end of
# its command unless it is escaped.
type_text() {
  local t=$1
  [[ $t == *';' ]] && t="${t%;}\\;"
  tmux -L "$TUI_SOCKET" send-keys -l -- "$t"
}

_screen_has() { screen | grep -qF -- "$1"; }
_screen_lacks() { ! screen | grep -qF -- "$1"; }

# wait_screen "description" TEXT [SECONDS]: until the screen shows TEXT; a failure shows the
# screen.
wait_screen() {
  checks=$((checks + 1))
  wait_until "${3:-10}" _screen_has "$2" && return 0
  fail "$1: the screen never showed \"$2\":
$(screen)"
  return 1
}

# wait_gone "description" TEXT [SECONDS]: until the screen no longer shows TEXT.
wait_gone() {
  checks=$((checks + 1))
  wait_until "${3:-10}" _screen_lacks "$2" && return 0
  fail "$1: the screen still shows \"$2\":
$(screen)"
  return 1
}

# The status line, the screen's last non-blank row.
status_line() { screen | grep -v '^ *$' | tail -1; }

_status_is() { status_line | grep -q -- "$1"; }
# wait_status "description" REGEX [SECONDS]: until the status line matches REGEX.
wait_status() {
  checks=$((checks + 1))
  wait_until "${3:-10}" _status_is "$2" && return 0
  fail "$1: the status line is \"$(status_line)\", want $2"
  return 1
}

# prompt LINE: runs LINE at the command prompt.
prompt() {
  keys F10
  type_text "$1"
  keys Enter
}

# editor_rows_match FILE: every row of an editor that fills the screen's width (no project
# tree) and shows a line number shows that line of FILE, cut to the pane: the screen and the
# text agree. FILE has fewer than 1000 lines and no tabs.
editor_rows_match() {
  local row num text want bad=0
  while IFS= read -r row; do
    [[ $row =~ ^.([\ 0-9]{3})[-+\ ]\ (.*)$ ]] || continue
    num=${BASH_REMATCH[1]// /}
    [ -n "$num" ] || continue
    text=${BASH_REMATCH[2]}
    want=$(sed -n "${num}p" "$1")
    text=${text%"${text##*[! ]}"}
    want=${want%"${want##*[! ]}"}
    [ "${want:0:${#text}}" == "$text" ] || { echo "row of line $num: [$text] want [$want]"; bad=1; }
  done < <(screen)
  return $bad
}

# frame_fits ROWS: the frame fills a terminal of ROWS rows: the status line (the cursor's
# line:column) is on the last of them, as the program lays out its screen for the size it has.
frame_fits() {
  local last
  last=$(screen | sed -n "${1}p")
  [[ $last =~ ^\ *[0-9]+:[0-9]+ ]]
}
