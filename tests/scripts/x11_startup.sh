#!/usr/bin/env bash
# Start-up on a real X server: the launcher window as the desktop sees it (caption, class,
# centred), the single-instance guard (a second start raises the first window, also while it is
# hidden by the model selection, and ends), a clean start again after the first has ended (with
# arguments, which the launcher ignores), and the command-line options.
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

# Started by a user without administrator rights on a desktop, the program asks pkexec once to
# run it again, with what the window needs passed as arguments (pkexec clears the environment).
# A stand-in pkexec records each request; the program and its CD are copied where that user
# can reach them.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  chmod 755 "$work"
  cp -a "$cd_root" "$work/cd"
  mkdir -p "$work/bin"
  calls="$work/pkexec.calls"
  : >"$calls"
  chmod 666 "$calls"
  # start_as_nobody PKEXEC_ANSWER: the launcher as "nobody"; the stand-in pkexec either answers
  # 126 (the request was dismissed) or runs the command as asked, with a cleared environment.
  start_as_nobody() {
    cat >"$work/bin/pkexec" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$calls"
[ "$1" = run ] || exit 126
exec env -i PKEXEC_UID=\$(id -u) "\$@"
EOF
    chmod 755 "$work/bin/pkexec"
    : >"$host_log"
    chmod 666 "$host_log"
    runuser -u nobody -- env -i PATH="$work/bin:$PATH" DISPLAY="$DISPLAY" LANG=it_IT.UTF-8 ARKEVEN_HOST=x11 \
      ARKEVEN_HOST_LOG="$host_log" ARKEVEN_VIRTUAL_STICKS=stick.img "$work/cd/AUTORUN/arkeven" >"$program_out" 2>"$program_err" &
    program_pid=$!
    started_pids+=("$program_pid")
    main_window=$(window_of MainFrm 20)
  }
  start_as_nobody dismiss
  [ "$(wc -l <"$calls")" -eq 1 ] || fail "rights: pkexec was asked $(wc -l <"$calls") times"
  request=$(cat "$calls")
  for word in "$work/cd/AUTORUN/arkeven --run-by-pkexec " " DISPLAY=$DISPLAY " " LANG=it_IT.UTF-8 " \
    " ARKEVEN_VIRTUAL_STICKS=stick.img " " PWD=$PWD " " --"; do
    [[ "$request " == *"$word"* ]] || fail "rights: the request '$request' lacks '$word'"
  done
  stop_program
  note "rights: pkexec asked once with the display, language and stick settings; dismissed, the launcher runs on"

  : >"$calls"
  start_as_nobody run
  grep -q '^caption MainFrm Varn MID' "$host_log" || fail "rights: the run pkexec started logs no window"
  [ "$(wc -l <"$calls")" -eq 1 ] || fail "rights: the run pkexec started asked for rights again"
  stop_program
  note "rights: the run pkexec started shows the launcher and asks no more"
else
  note "not root: the request for administrator rights is not tried"
fi
note "PASS"
