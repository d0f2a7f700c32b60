# Helpers of the system tests on a real X server, after lib/system.sh. Each such test runs on
# an Xvfb server of its own (scripts/with-xvfb), even when DISPLAY is set: the keyboard focus
# is one per server, and other window tests may run beside this one on a shared display.
#   x11_test_init "$@"       instead of system_test_init

x11_test_init() {
  if [ "${ARKEVEN_TEST_OWN_DISPLAY:-}" != 1 ]; then
    ARKEVEN_TEST_OWN_DISPLAY=1 exec "$(dirname "$0")/../../scripts/with-xvfb" bash "$0" "$@"
  fi
  system_test_init "$@"
  require_tools xdotool xprop xwininfo
  export ARKEVEN_HOST=x11
}

# window_of INSTANCE [SECONDS]: the id of the shown window whose WM_CLASS instance is INSTANCE
# (MainFrm, AppFrm, ...); fails the test when none appears in time.
window_of() {
  local deadline=$((SECONDS + ${2:-10})) id
  while :; do
    id=$(xdotool search --onlyvisible --classname "^$1\$" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    [ "$SECONDS" -lt "$deadline" ] || fail "no $1 window within ${2:-10} s"
    sleep 0.05
  done
}

# is_viewable WINDOW: the window is mapped and on screen.
is_viewable() {
  xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# type_keys WINDOW KEY...: the keys through the server (XTest), with WINDOW focused first.
type_keys() {
  local window=$1
  shift
  xdotool windowfocus "$window"
  xdotool key --delay 40 "$@"
}

# send_keys_to WINDOW KEY...: the keys as events sent to WINDOW itself (XSendEvent), for
# combinations the server keeps to itself when typed: its keymap binds Ctrl+Alt+F1..F12 to
# switching the virtual terminal, so through XTest only the release of F2 arrives. xdotool
# sends to the window only while another window has the focus, hence the focus goes to the root.
send_keys_to() {
  local window=$1
  shift
  xdotool windowfocus "$(xwininfo -root | awk '/Window id:/ { print $4 }')" 2>/dev/null
  xdotool key --window "$window" --delay 40 "$@" 2>/dev/null
}

# A program run that waits for its main window; its id in $main_window.
start_launcher() {
  start_program "$@"
  main_window=$(window_of MainFrm 20)
}

# stop_program: ends our own program run if it still runs (a test that is done with it).
stop_program() {
  if kill -0 "$program_pid" 2>/dev/null; then
    kill "$program_pid"
    wait_for_exit "$program_pid" 5 || kill -9 "$program_pid" 2>/dev/null
  fi
  wait "$program_pid" 2>/dev/null || true
}
