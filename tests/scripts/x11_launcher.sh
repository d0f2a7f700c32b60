#!/usr/bin/env bash
# The launcher's buttons on a real X server, used with the keyboard as a user would: which
# button set the system language gives, exit, minimise, the manual and the configured file
# opened with the desktop's default opener, the hidden key combination, and the launcher on a
# desktop at 200 % (Xft.dpi 192); and a screen reader that reads and drives the launcher and the
# writer through AT-SPI, as Orca does.
source "$(dirname "$0")/lib/system.sh"
source "$(dirname "$0")/lib/x11.sh"
x11_test_init "$@"

# A recording default opener, first on PATH.
mkdir -p "$work/bin"
opened="$work/opened"
cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s\n' "\$*" >>"$opened"
EOF
chmod +x "$work/bin/xdg-open"
export PATH="$work/bin:$PATH"
manual="$cd_root/AUTORUN/UserManual.pdf"
tools="$cd_root/Tools/Tools.htm"

# press_nth LANG N: a fresh launcher; Tab N times and Space, so the button N Tabs after the one
# focused as the window opens acts (Tab follows reading order: the first button below the
# header, the ones under it, then the header's 1002 and 1001). Echoes what happened:
# "recovery" when the start dialog opened, else what the opener was given.
press_nth() {
  rm -f "$opened"
  start_launcher LANG="$1"
  local keys=()
  for _ in $(seq "$2"); do keys+=(Tab); done
  type_keys "$main_window" "${keys[@]}" space
  local deadline=$((SECONDS + 5))
  until grep -q '^create AppFrm' "$host_log" || [ -s "$opened" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "LANG=$1, button $2 in tab order: nothing happened"
    sleep 0.05
  done
  sleep 0.2 # a second effect would show by now
  local effects=()
  grep -q '^create AppFrm' "$host_log" && effects+=(recovery)
  [ -s "$opened" ] && effects+=("$(cat "$opened")")
  stop_program
  printf '%s\n' "${effects[@]}"
}

# On Italian (Italy) 1016 and 1017 stand where 1011 and 1012 stand elsewhere: the same places,
# the same commands (their faces differ, below).
expect_nth() {
  local got
  got=$(press_nth "$1" "$2")
  [ "$got" = "$3" ] || fail "LANG=$1, $2 Tabs from the first button: expected '$3', got '$got'"
}
expect_nth it_CH.UTF-8 0 recovery        # 1011
expect_nth it_CH.UTF-8 1 "$manual"       # 1012
expect_nth it_CH.UTF-8 2 "$tools"        # 1013
expect_nth it_IT.UTF-8 0 recovery        # 1016
expect_nth it_IT.UTF-8 1 "$manual"       # 1017
expect_nth it_IT.UTF-8 2 "$tools"        # 1013
note "it_CH: 1011, 1012, 1013; it_IT: 1016, 1017, 1013; the opener got the manual and Tools.htm"

# The window is the user's: a user's launcher opens the manual as that user, with that user's
# home. The CD is copied where that user reaches it.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  chmod 755 "$work" "$work/bin"
  cp -a "$cd_root" "$work/user-cd"
  # start_as_nobody VAR=value...: the CD copy's program in the background as the user "nobody"
  # (its pid in $program_pid: no session's fork between), with that user's home, this display and
  # this PATH.
  start_as_nobody() {
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env -i HOME="$(getent passwd nobody | cut -d: -f6)" \
      PATH="$PATH" DISPLAY="$DISPLAY" LANG=C.UTF-8 ARKEVEN_HOST=x11 ARKEVEN_HOST_LOG="$host_log" "$@" \
      "$work/user-cd/AUTORUN/arkeven" >"$program_out" 2>"$program_err" &
    program_pid=$!
    started_pids+=("$program_pid")
    main_window=$(window_of MainFrm 20)
  }
  cat >"$work/bin/xdg-open" <<EOF
#!/bin/sh
printf '%s %s %s\n' "\$(id -u)" "\$HOME" "\$*" >>"$opened"
EOF
  : >"$opened"
  : >"$host_log"
  chmod 666 "$opened" "$host_log"
  start_as_nobody
  type_keys "$main_window" Tab space
  wait_for_line "$opened" . 5 || fail "as a user: the manual was not opened"
  stop_program
  expected="$(id -u nobody) $(getent passwd nobody | cut -d: -f6) $work/user-cd/AUTORUN/UserManual.pdf"
  [ "$(cat "$opened")" = "$expected" ] || fail "as a user: the opener ran as '$(cat "$opened")', not '$expected'"
  note "a user's launcher opens the manual as that user"
fi

# The two sets look different too (their snapshots, drawn without a display).
for lang in it_IT it_CH; do
  LANG=$lang.UTF-8 ARKEVEN_HOST=headless "$program" --snapshot MainFrm "$work/$lang.png" ||
    fail "no snapshot under $lang"
done
cmp -s "$work/it_IT.png" "$work/it_CH.png" && fail "the launcher looks the same on it_IT and it_CH"

# 1001 ends the program; 1002 minimises. Both lie before the first button in reading order.
start_launcher
type_keys "$main_window" shift+Tab space
wait_for_exit "$program_pid" 2 || fail "exit (1001) did not end the program within 2 s"
[ "$exit_status" -eq 0 ] || fail "exit (1001): status $exit_status"
start_launcher
type_keys "$main_window" shift+Tab shift+Tab space
wait_for_line "$host_log" '^show MainFrm minimised$' 2 || fail "minimise (1002) did not minimise"
# No window manager runs here, so play its part: restore the window the two ways window
# managers show it (map it again; drop _NET_WM_STATE_HIDDEN). 1002 keeps the focus, and each
# time Space must minimise once more. On a busy machine the key may reach the program before
# the restore does, so Space is pressed again until the minimise shows or time is up.
minimised_again() {
  local deadline=$((SECONDS + 5))
  until [ "$(grep -c '^show MainFrm minimised$' "$host_log")" -ge "$1" ]; do
    [ "$SECONDS" -lt "$deadline" ] || fail "1002 did not minimise again after a restore by $2"
    type_keys "$main_window" space
    sleep 0.5
  done
}
xdotool windowunmap --sync "$main_window"
xdotool windowmap --sync "$main_window"
minimised_again 2 "mapping the window"
xprop -id "$main_window" -f _NET_WM_STATE 32a -set _NET_WM_STATE _NET_WM_STATE_HIDDEN
xprop -id "$main_window" -remove _NET_WM_STATE
minimised_again 3 "clearing _NET_WM_STATE_HIDDEN"
stop_program
note "1001 exits within 2 s, 1002 minimises, again after each restore by the desktop"

# Ctrl+Alt+Q and Ctrl+Alt+F2 hide the launcher and open the model dialog.
for combo in ctrl+alt+q ctrl+alt+F2; do
  start_launcher
  if [ "$combo" = ctrl+alt+F2 ]; then
    send_keys_to "$main_window" "$combo"
  else
    type_keys "$main_window" "$combo"
  fi
  wait_for_line "$host_log" '^create ModelFrm' 3 || fail "$combo did not open the model dialog"
  grep -qx 'show MainFrm hidden' "$host_log" || fail "$combo did not hide the launcher"
  stop_program
done
# One of Ctrl and Alt is not enough. Minimise afterwards shows the keys were all handled.
start_launcher
type_keys "$main_window" ctrl+q alt+q ctrl+F2 alt+F2 ctrl+shift+q shift+Tab shift+Tab space
wait_for_line "$host_log" '^show MainFrm minimised$' 3 || fail "the keys after Ctrl+Q and Alt+Q were lost"
grep -qE '^(show MainFrm hidden|create ModelFrm)' "$host_log" && fail "Ctrl or Alt alone started the selection"
stop_program
note "Ctrl+Alt+Q and Ctrl+Alt+F2 start the selection, Ctrl+Q, Alt+Q, Ctrl+F2, Alt+F2 do not"
# A desktop at 200 %: Xft.dpi 192 on the root window. The launcher is twice the script's
# 640x420, and a click at the middle of the minimise button's 2x place (400,24 112x32 in the
# script) presses it, where at that button's 1x place there is only the header.
xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "$(printf 'Xft.dpi:\t192\n')"
start_launcher
eval "$(xdotool getwindowgeometry --shell "$main_window")"
[ "$WIDTH" -eq 1280 ] && [ "$HEIGHT" -eq 840 ] || fail "at Xft.dpi 192 the launcher is ${WIDTH}x$HEIGHT, not 1280x840"
click_at() {
  xdotool mousemove --window "$main_window" "$1" "$2" click 1
}
click_at 456 40
sleep 0.5
grep -q '^show MainFrm minimised$' "$host_log" && fail "at 2x a click at the minimise button's 1x place minimised"
click_at 912 80
wait_for_line "$host_log" '^show MainFrm minimised$' 3 || fail "at 2x a click on the minimise button did not minimise"
stop_program
xprop -root -remove RESOURCE_MANAGER
note "at Xft.dpi 192 the launcher is 1280x840 and a click at a button's 2x place presses it"

# A screen reader: a session bus with the AT-SPI bus launcher (at-spi2-core), accessibility
# turned on as Orca turns it on, and a client of Orca's own library (pyatspi).
require_tools dbus-daemon dbus-send /usr/bin/python3
dbus-daemon --session --fork --print-address=3 --print-pid=4 3>"$work/bus.address" 4>"$work/bus.pid" ||
  fail "no session bus"
started_pids+=("$(cat "$work/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS="$(cat "$work/bus.address")"
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null || fail "the AT-SPI bus launcher did not start"
reader() {
  timeout 150 /usr/bin/python3 "$source_dir/tests/scripts/lib/atspi_client.py" "$@" 2>"$work/reader.err" ||
    { cat "$work/reader.err" >&2; fail "the screen reader's client failed: $*"; }
}
start_launcher LANG=C.UTF-8
expected=$(for id in 3 2 12 13; do printf 'push button\t%s\n' "$(text_of "$id")"; done; printf 'push button\tDriver & Tools')
[ "$(reader buttons)" = "$expected" ] || fail "the screen reader found the buttons '$(reader buttons)', not '$expected'"
reader press "$(text_of 3)" >/dev/null
wait_for_line "$host_log" '^show MainFrm minimised$' 3 || fail "the minimise button's action did not minimise"
stop_program
note "AT-SPI: the launcher's buttons by role and text; the minimise button pressed by its action"

# The whole job through the screen reader: the recovery button, the start dialog's drive list
# and Create button, the writer's Start, then the bar and the percentage line as they change.
stick="$work/stick.img"
fresh_stick "$stick" 300M
start_launcher LANG=C.UTF-8 ARKEVEN_VIRTUAL_STICKS="$stick"
reader make-stick "$(text_of 25)" >"$work/reader.out"
grep -q "^drive list	E (" "$work/reader.out" || fail "the drive list does not say the stick: $(grep '^drive' "$work/reader.out")"
values=$(grep -c '^value	' "$work/reader.out")
texts=$(grep -c '^text	[0-9]*% ' "$work/reader.out")
[ "$values" -ge 10 ] && [ "$texts" -ge 10 ] || fail "the reader heard $values bar moves and $texts percentages"
[ "$(grep '^value	' "$work/reader.out" | tail -n 1 | cut -f2)" = 150 ] || fail "the last bar value read is not the full bar (150)"
[ "$(grep '^text	' "$work/reader.out" | tail -n 1 | cut -f2)" = "$(text_of 25)" ] || fail "the last text read is not text 25"
stop_program
note "AT-SPI: the job driven by actions; $values bar moves and $texts percentages read, then the final text"

# A real screen reader: Orca, speaking through speech-dispatcher and espeak-ng into ALSA's null
# device (no sound card), judged by its debug log: what it said ("SPEECH OUTPUT") and the keys
# it was handed. The whole job by the keyboard alone; xdotool focuses each new window as a
# window manager would. Orca writes its log as it exits.
require_tools orca speech-dispatcher espeak-ng
orca_home="$work/orca-home"
mkdir -p "$orca_home/.config/speech-dispatcher" "$work/orca-run"
chmod 700 "$work/orca-run"
cat >"$orca_home/.config/speech-dispatcher/speechd.conf" <<'EOF'
AudioOutputMethod "alsa"
AddModule "espeak-ng" "sd_espeak-ng" "espeak-ng.conf"
DefaultModule espeak-ng
EOF
printf 'pcm.!default { type null }\n' >"$orca_home/.asoundrc"
orca_env=(env HOME="$orca_home" XDG_RUNTIME_DIR="$work/orca-run" GSETTINGS_BACKEND=memory LANG=C.UTF-8)
orca_log="$work/orca.log"
# Orca runs once per user on the machine: it refuses to start beside another.
pgrep -u "$(id -u)" -x orca >/dev/null && fail "another Orca runs for this user; Orca would not start"
"${orca_env[@]}" orca --debug-file="$orca_log" >"$work/orca.out" 2>&1 </dev/null &
orca_pid=$!
started_pids+=("$orca_pid")
# Ready once it is an application on the bus (it listens for keys before that).
deadline=$((SECONDS + 60))
until /usr/bin/python3 -c 'import pyatspi, sys; sys.exit(all(a is None or a.name != "orca" for a in pyatspi.Registry.getDesktop(0)))' 2>/dev/null; do
  [ "$SECONDS" -lt "$deadline" ] && kill -0 "$orca_pid" 2>/dev/null || { cat "$work/orca.out" >&2; fail "Orca did not start"; }
  sleep 0.5
done
speechd_pid=$(cat "$work/orca-run/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null || true)
[ -n "$speechd_pid" ] && started_pids+=("$speechd_pid")
# Every start is announced as its window appears: two starts and ends before the one that works.
for _ in 1 2; do
  start_launcher LANG=C.UTF-8
  sleep 2
  stop_program
done
fresh_stick "$stick" 300M
start_launcher LANG=C.UTF-8 ARKEVEN_VIRTUAL_STICKS="$stick"
sleep 2
keys_typed=0
# say WINDOW KEY...: the keys, with time for Orca to speak after each.
say_keys() {
  local window=$1 key
  shift
  xdotool windowfocus "$window"
  for key in "$@"; do
    xdotool key "$key"
    keys_typed=$((keys_typed + $(tr -cd + <<<"$key" | wc -c) + 1)) # shift+Tab: two presses
    sleep 0.7
  done
}
# Orca's own keys: where am I (keypad Enter) must not press the focused recovery button.
say_keys "$main_window" KP_Enter
sleep 1
grep -q '^create AppFrm' "$host_log" && fail "Orca's where-am-I key reached the launcher and opened the start dialog"
# Tab names each button, round the launcher and back to the recovery button; flat review
# (keypad 8: the current line, no NumLock) reads it; Space opens the start dialog.
say_keys "$main_window" Tab Tab Tab Tab Tab KP_Up space
say_keys "$(window_of AppFrm)" Down Tab space
say_keys "$(window_of UsbFrm)" space
wait_for_line "$host_log" "^text UsbFrm 10005 $(text_of 25)\$" 90 || fail "with Orca: the job did not end with text 25"
sleep 2
# The final text has the focus: where am I says it again; Tab to Close, past it to the header's
# close button and back; Close; the start dialog closed with Escape.
say_keys "$(window_of UsbFrm)" KP_Enter Tab Tab shift+Tab space
wait_for_line "$host_log" '^destroy UsbFrm$' 5 || fail "with Orca: Close did not close the writer"
say_keys "$(window_of AppFrm)" Escape
wait_for_line "$host_log" '^destroy AppFrm$' 5 || fail "with Orca: Escape did not close the start dialog"
sleep 2
# Orca's handler runs when an event wakes its loop: the program's windows going give it one.
kill -INT "$orca_pid"
stop_program
wait_for_exit "$orca_pid" 30 || fail "Orca did not end"
speechd_pid=$(cat "$work/orca-run/speech-dispatcher/pid/speech-dispatcher.pid" 2>/dev/null || true)
[ -z "$speechd_pid" ] || kill "$speechd_pid" 2>/dev/null || true
said=$(sed -n "s/^[0-9:.]* - SPEECH OUTPUT: '\(.*\)' *\[\{0,1\}{.*$/\1/p" "$orca_log")
printf '%s\n' "$said" >"$work/orca.said"
# heard TEXT...: each line Orca spoke, in this order (others may come between).
heard() {
  awk -v expected="$(printf '%s\n' "$@")" '
    BEGIN { n = split(expected, want, "\n"); i = 1 }
    i <= n && $0 == want[i] { i++ }
    END { if (i <= n) { print want[i]; exit 1 } }' "$work/orca.said"
}
item=$(sed -n 's/^drives AppFrm \(E ([0-9]* MBytes)\).*/\1/p' "$host_log" | tail -n 1)
missing=$(heard "Varn MID frame." "$(text_of 12) push button." "Varn MID frame." "$(text_of 12) push button." \
  "Varn MID frame." "$(text_of 12) push button." "$(text_of 12) push button." \
  "$(text_of 13) push button." "Driver & Tools push button." "$(text_of 3) push button." "$(text_of 2) push button." \
  "$(text_of 12) push button." "$(text_of 12)" \
  "$(text_of 20) dialog $(text_of 15) $(text_of 16) $(text_of 17)" \
  "$item combo box." "$(text_of 9) push button." \
  "$(text_of 20) dialog $(text_of 22) $item · $stick." "$(text_of 26) push button." \
  "$(text_of 25) label." "$(text_of 25) label." "$(text_of 2) push button." "$(text_of 40) push button." \
  "$(text_of 2) push button." "$(text_of 9) push button." "Varn MID frame." "$(text_of 12) push button.") ||
  { cat "$work/orca.said" >&2; fail "Orca did not say '$missing' in its turn"; }
heard_keys=$(grep -c '^vvvvv PROCESS ATSPI_KEY_PRESSED_EVENT' "$orca_log" || true)
[ "$heard_keys" -eq "$keys_typed" ] || fail "Orca was handed $heard_keys of the $keys_typed keys typed"
grep -q "is not in the registry's desktop" "$orca_log" && fail "Orca found a window outside the registry's desktop"
grep -q "doesn't implement AtspiValue\|does not implement AtspiValue" "$orca_log" && fail "Orca was told of a value that has no Value interface"
note "Orca: three starts and each window announced, Tab named every control, where am I and flat review answered, the final text was heard; $heard_keys keys handed to Orca"

# The window is the user's, so its bridge reaches the user's session and accessibility buses as
# that user with no change of identity, and the user's screen reader finds it there.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  as_nobody_only() { setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env HOME="$work/nobody" "$@"; }
  mkdir -p "$work/nobody"
  chown nobody "$work/nobody"
  as_nobody_only dbus-daemon --session --address="unix:path=$work/nobody/bus" --fork --print-pid=3 3>"$work/nobody-bus.pid" ||
    fail "no session bus for the user"
  started_pids+=("$(cat "$work/nobody-bus.pid")")
  user_bus="unix:path=$work/nobody/bus"
  as_nobody_only env DBUS_SESSION_BUS_ADDRESS="$user_bus" dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null ||
    fail "the user's AT-SPI bus launcher did not start"
  : >"$host_log"
  start_as_nobody DBUS_SESSION_BUS_ADDRESS="$user_bus"
  expected=$(for id in 3 2 12 13; do printf 'push button\t%s\n' "$(text_of "$id")"; done; printf 'push button\tDriver & Tools')
  found=$(as_nobody_only env DBUS_SESSION_BUS_ADDRESS="$user_bus" timeout 60 /usr/bin/python3 \
    "$source_dir/tests/scripts/lib/atspi_client.py" buttons 2>"$work/reader.err") ||
    { cat "$work/reader.err" >&2; fail "the user's screen reader did not find the user's launcher"; }
  [ "$found" = "$expected" ] || fail "the user's screen reader found '$found'"
  nobody_uid=$(id -u nobody)
  if grep -L "^Uid:	$nobody_uid	$nobody_uid	$nobody_uid	" /proc/"$program_pid"/task/*/status | grep -q .; then
    fail "a thread of the user's program runs as someone else"
  fi
  stop_program
  note "AT-SPI for a user: the user's screen reader finds the launcher; every thread is the user's"
fi
note "PASS"
