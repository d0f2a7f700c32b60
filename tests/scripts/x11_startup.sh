#!/usr/bin/env bash
# Start-up on a real X server: the launcher window as the desktop sees it (caption, class,
# centred), the single-instance guard (a second start raises the first window, also while it is
# hidden by the model selection, and ends), a clean start again after the first has ended (with
# arguments, which the launcher ignores), the command-line options, and the window as a user who
# may not write the stick: nothing asked at start, one request at each Start (dismissed, granted
# with the helper killed mid-job, granted), only the stick job's helper root.
source "$(dirname "$0")/lib/system.sh"
source "$(dirname "$0")/lib/x11.sh"
x11_test_init "$@"

start_launcher
first_pid=$program_pid
first_log="$host_log"

windows=$(xdotool search --name '^Varn MID$' | wc -l)
[ "$windows" -eq 1 ] || fail "$windows windows are captioned 'Varn MID'"
[ "$(xdotool search --name '^Varn MID$')" = "$main_window" ] || fail "the 'Varn MID' window is not MainFrm"
class=$(xprop -id "$main_window" WM_CLASS)
[ "$class" = 'WM_CLASS(STRING) = "MainFrm", "arkeven"' ] || fail "the window's class is $class"

eval "$(xdotool getwindowgeometry --shell "$main_window")"
read -r screen_width screen_height < <(xdotool getdisplaygeometry)
[ "$X" -eq $(((screen_width - WIDTH) / 2)) ] && [ "$Y" -eq $(((screen_height - HEIGHT) / 2)) ] ||
  fail "a ${WIDTH}x$HEIGHT window at $X,$Y is not centred on ${screen_width}x$screen_height"
note "one window 'Varn MID', MainFrm/arkeven, ${WIDTH}x$HEIGHT centred at $X,$Y"

# second_start WHAT: another start ends within 2 s without a window, and the first raises its own.
second_start() {
  local raises second_log="$work/second.log"
  raises=$(grep -c '^raise MainFrm$' "$first_log" || true)
  : >"$second_log"
  ARKEVEN_HOST_LOG="$second_log" "$program" >"$work/second.out" 2>&1 &
  local second_pid=$!
  started_pids+=("$second_pid")
  wait_for_exit "$second_pid" 2 || fail "$1: the second start still runs after 2 s"
  [ "$exit_status" -eq 0 ] || fail "$1: the second start ended with status $exit_status"
  grep -q '^create ' "$second_log" && fail "$1: the second start created a window"
  kill -0 "$first_pid" 2>/dev/null || fail "$1: the first instance has gone"
  wait_for_line "$first_log" '^raise MainFrm$' 2 &&
    [ "$(grep -c '^raise MainFrm$' "$first_log")" -gt "$raises" ] ||
    fail "$1: the first instance did not raise its window"
  [ "$(xdotool search --name '^Varn MID$' | wc -l)" -eq 1 ] || fail "$1: more than one 'Varn MID' window"
}

second_start "shown launcher"
note "a second start raised the first window and ended"

# The hidden selection: the second start still finds the hidden window; it stays hidden.
type_keys "$main_window" ctrl+alt+q
model_window=$(window_of ModelFrm)
is_viewable "$main_window" && fail "the launcher is still shown during the selection"
second_start "hidden launcher"
is_viewable "$main_window" && fail "the raise showed the launcher in the middle of the selection"
note "during the selection too; the launcher stayed hidden"

# Cancelling the selection ends the first instance; then a start works as the first did.
type_keys "$model_window" Escape
wait_for_exit "$first_pid" 2 || fail "Escape in the model dialog did not end the program within 2 s"

# That start carries what a shortcut's argument or a file dropped on the program gives.
dropped="$work/Dropped file.txt"
start_launcher -- "$dropped" /S
[ "$(xdotool search --name '^Varn MID$' | wc -l)" -eq 1 ] || fail "the next start shows no single 'Varn MID' window"
grep -qF "ignored: '$dropped' '/S'" "$program_err" || fail "the ignored arguments were not named on standard error"
type_keys "$main_window" shift+Tab space
wait_for_exit "$program_pid" 2 || fail "the next start did not end through its exit button"
[ "$exit_status" -eq 0 ] || fail "the next start ended with status $exit_status"
note "after the first had ended, a new start with two arguments showed its window and exited through 1001"

# --help lists the options; an unknown option ends at once with status 2 and no window.
"$program" --help >"$program_out" || fail "--help ended with status $?"
for option in --help --list-drives --snapshot --make-stick; do
  grep -q -- "arkeven $option" "$program_out" || fail "--help does not list $option"
done
status=0
: >"$host_log"
ARKEVEN_HOST_LOG="$host_log" "$program" --lsit-drives 2>"$program_err" || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with status $status, not 2"
grep -q '^create ' "$host_log" && fail "an unknown option opened a window"
note "--help lists the options; --lsit-drives ends with status 2 and no window"

# The window is the user's. Started by a user without root on a desktop, the launcher shows and
# nothing is asked; each press of Start asks once, through pkexec, for the rights to write a stick
# the user owns but may not write (mode 0444), and only the stick job's helper runs as root. A
# stand-in pkexec that keeps pkexec's rules records each request. The program and its CD are
# copied where that user reaches them.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  chmod 755 "$work"
  cp -a "$cd_root" "$work/cd"
  standin_pkexec "$work/bin"
  calls="$work/bin/pkexec.calls"
  stick="$work/stick.img"
  fresh_stick "$stick" 300M
  chown nobody "$stick"
  chmod 444 "$stick"
  : >"$host_log"
  chmod 666 "$host_log"
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env -i PATH="$work/bin:$PATH" DISPLAY="$DISPLAY" LANG=C.UTF-8 ARKEVEN_HOST=x11 \
    ARKEVEN_HOST_LOG="$host_log" ARKEVEN_VIRTUAL_STICKS="$stick" "$work/cd/AUTORUN/arkeven" >"$program_out" 2>"$program_err" &
  program_pid=$!
  started_pids+=("$program_pid")
  main_window=$(window_of MainFrm 20)
  [ -s "$calls" ] && fail "rights: asked for at start: $(cat "$calls")"
  [ "$(stat -c %U /proc/"$program_pid")" = nobody ] || fail "rights: the window does not run as the user"
  note "rights: the launcher shows as the user, nothing asked"

  # press_start [KEY...]: Start in the writer, by default as after a job, whose final text has
  # the focus (Tab: 1015, 1014 is disabled); the requests and the host log (the program appends to it) from
  # here on are this press's.
  press_start() {
    : >"$calls"
    : >"$host_log"
    [ $# -gt 0 ] || set -- Tab space
    type_keys "$writer" "$@"
  }
  # requests_made N WHAT: the press asked pkexec exactly N times.
  requests_made() {
    [ "$(wc -l <"$calls")" -eq "$1" ] || fail "$2: pkexec was asked $(wc -l <"$calls") times, not $1"
  }

  echo dismiss >"$work/bin/pkexec.answer"
  type_keys "$main_window" space
  type_keys "$(window_of AppFrm)" Tab space
  writer=$(window_of UsbFrm)
  press_start space # the writer opens on Start
  wait_for_log "^text UsbFrm 10005 $(text_of 28)\$" 30 || fail "dismissed: no text 28"
  requests_made 1 dismissed
  grep -q '^progress UsbFrm [1-9]' "$host_log" && fail "dismissed: the bar moved"
  cmp -s -n $((300 << 20)) "$stick" /dev/zero || fail "dismissed: the stick was written"
  note "dismissed: text 28 at once, the stick untouched"

  # A helper that sends what no helper sends, as root where the user's signals can't reach it:
  # the job fails (27) at once, without waiting for it.
  echo garble >"$work/bin/pkexec.answer"
  press_start
  wait_for_log "^text UsbFrm 10005 $(text_of 27)\$" 10 || fail "nonsense: no text 27 within 10 s"
  requests_made 1 nonsense
  garbler=$(pgrep -P "$program_pid" | head -n 1)
  [ -n "$garbler" ] || fail "nonsense: the stand-in helper is gone already, so nothing shows the writer did not wait"
  kill -KILL "$garbler"
  cmp -s -n $((300 << 20)) "$stick" /dev/zero || fail "nonsense: the stick was written"
  note "a helper sending nonsense: text 27 at once, the writer did not wait for it"

  # Given the rights, the helper is killed in the middle of its copies: the job fails (27), and
  # the writer is free again (the next Start runs). A large root image gives the time.
  echo run >"$work/bin/pkexec.answer"
  head -c 200M /dev/urandom >"$work/cd/ISOLINUX/root.lzm"
  press_start
  wait_for_log '^progress UsbFrm (8[3-9]|9[0-9]|1[0-4][0-9])$' 90 || fail "killed: the root.lzm copy never got past 82"
  requests_made 1 killed
  request=$(cat "$calls")
  [[ "$request" == "$work/cd/AUTORUN/arkeven --stick-helper E="*" --virtual-stick=$stick:removable" ]] ||
    fail "killed: the request was '$request'"
  helper=$(pgrep -P "$program_pid" | head -n 1)
  [ -n "$helper" ] && grep -qa -- '--stick-helper' /proc/"$helper"/cmdline || fail "killed: no helper beside the window"
  [ "$(stat -c %u /proc/"$helper")" -eq 0 ] || fail "killed: the helper does not run as root"
  [ -z "$(find /proc/"$helper"/fd -lname 'socket:*' 2>/dev/null)" ] || fail "killed: the helper holds a socket (a display or bus)"
  tr '\0' '\n' </proc/"$helper"/environ | grep -qE '^(DISPLAY|ARKEVEN_|LANG)' && fail "killed: the helper has the caller's settings"
  kill -KILL "$helper"
  wait_for_log "^text UsbFrm 10005 $(text_of 27)\$" 30 || fail "killed: no text 27"
  note "killed mid-job: only the helper was root (no socket, no settings of the caller); text 27"

  cp "$cd_root/ISOLINUX/root.lzm" "$work/cd/ISOLINUX/root.lzm"
  press_start
  wait_for_log "^text UsbFrm 10005 $(text_of 25)\$" 120 || fail "ready: no text 25 (last: $(grep '^text UsbFrm 10005' "$host_log" | tail -n 1))"
  requests_made 1 ready
  stick_holds_live_system "$stick" "$work/cd"
  [ "$(stat -c '%U %a' "$stick")" = "nobody 444" ] || fail "ready: the stick's owner or mode changed"
  type_keys "$writer" Escape
  wait_for_line "$host_log" '^destroy UsbFrm' 5 || fail "ready: the writer did not close"
  stop_program
  note "given the rights: one request, the job ended ready, the stick holds the live system"
else
  note "not root: the request for rights is not tried"
fi
note "PASS"
