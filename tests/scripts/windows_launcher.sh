#!/usr/bin/env bash
# The launcher under wine on an Xvfb display: the window "Varn MID" appears, a second start ends
# and leaves it running, Shift+Tab + Space (the exit button 1001) closes it; at 200 % it is made twice
# the skin's size; a screen reader's client (Active Accessibility) reads its buttons and presses
# one by its default action; the console twin without an option starts it; --list-drives and --make-stick
# answer on the console they were started from.
set -euo pipefail
source "$(dirname "$0")/lib/wine.sh"
wine_test_init "$@"

started=$SECONDS
ARKEVEN_HOST_LOG="$(windows_path "$work/first-host.log")" as_user wine "$program" >"$work/first.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "the window \"Varn MID\" did not appear"
window=$(find_window)
echo "windows: launcher window $window after $((SECONDS - started)) s"

ARKEVEN_HOST_LOG="$(windows_path "$work/second-host.log")" as_user timeout 30 wine "$program" >"$work/second.log" 2>&1 \
  || fail "the second instance did not end cleanly"
if [ -s "$work/second-host.log" ]; then fail "the second instance made a window"; fi
kill -0 "$first_pid" 2>/dev/null || fail "the first instance ended with the second"
[ "$(find_window)" = "$window" ] || fail "the first window went away"
echo "windows: second instance ended, first still running"

# The launcher opens on its first button below the header; the exit button is before it.
xdotool key --window "$(find_window)" shift+Tab 2>"$work/xdotool.log" || fail "Shift+Tab did not reach the window"
sleep 0.3
# The button acts on the key press; the window may be gone before xdotool sends the release,
# which xdotool then reports as BadWindow. What counts is checked below.
xdotool key --window "$(find_window)" space 2>>"$work/xdotool.log" || true
wait_for '! kill -0 "$first_pid" 2>/dev/null' 20 || fail "the program did not end after Shift+Tab + Space"
status=0
wait "$first_pid" || status=$?
first_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ -z "$(find_window)" ] || fail "the window is still there"
grep -q "^destroy MainFrm" "$work/first-host.log" || fail "no destroy of MainFrm in the host log"
# xdotool pressed Space in a window that went away on the press: the server still holds the
# key (it repeats into whatever window gets the keyboard next, here the next start's focused
# recovery button). Let go of it.
xdotool keyup space 2>/dev/null || true
echo "windows: Shift+Tab + Space closed the launcher; smoke test $((SECONDS - started)) s"

# A screen reader's client (Active Accessibility, as Narrator, NVDA and JAWS read it) finds the
# launcher's buttons by role and text in its client object and presses one by its default action.
as_user cp "$build/tests/AccessibilityClient.exe" "$work/AccessibilityClient.exe"
client="$(windows_path "$work/AccessibilityClient.exe")"
ARKEVEN_HOST_LOG="$(windows_path "$work/a11y-host.log")" as_user wine "$program" >"$work/a11y.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "the window \"Varn MID\" did not appear for the screen reader"
as_user timeout 60 wine "$client" buttons >"$work/a11y-buttons.log" 2>&1 || fail "the accessibility client failed"
# ROLE_SYSTEM_CLIENT (10) named by the caption; ROLE_SYSTEM_PUSHBUTTON (43) per shown button.
expected=$(printf '10\tVarn MID\n43\tMinimize\t112x32\n43\tClose\t96x32\n43\tMake recovery stick\t512x56\n43\tUser manual\t512x48\n43\tDriver & Tools\t512x48')
[ "$(tr -d '\r' <"$work/a11y-buttons.log")" = "$expected" ] || fail "the accessibility client read '$(cat "$work/a11y-buttons.log")'"
as_user timeout 60 wine "$client" press Minimize >"$work/a11y-press.log" 2>&1 || fail "the accessibility client could not press Minimize"
wait_for 'grep -q "^show MainFrm minimised" "$work/a11y-host.log"' 10 || fail "the default action of Minimize did not minimise"
as_user timeout 30 wine taskkill /F /IM Arkeven.exe >"$work/taskkill.log" 2>&1 || fail "taskkill failed"
wait "$first_pid" 2>/dev/null || true
ARKEVEN_HOST_LOG="$(windows_path "$work/a11y-host.log")" as_user wine "$program" >"$work/a11y.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "the window \"Varn MID\" did not appear again"
# The start dialog opened by its button's default action: its drive list's chosen item is the
# object's selection, and its children are enumerated through the object itself.
as_user timeout 60 wine "$client" press "Make recovery stick" >"$work/a11y-press.log" 2>&1 ||
  fail "the accessibility client could not press Make recovery stick"
wait_for 'grep -q "^show AppFrm normal" "$work/a11y-host.log"' 20 || fail "the default action of Make recovery stick opened no dialog"
as_user timeout 60 wine "$client" selection >"$work/a11y-selection.log" 2>&1 ||
  fail "the accessibility client could not read the start dialog: $(cat "$work/a11y-selection.log")"
tr -d '\r' <"$work/a11y-selection.log" | grep -qE '^selected	E \([0-9]+ MBytes\)$' ||
  fail "the start dialog's selection read '$(cat "$work/a11y-selection.log")'"
as_user timeout 30 wine taskkill /F /IM Arkeven.exe >>"$work/taskkill.log" 2>&1 || fail "taskkill failed"
wait "$first_pid" 2>/dev/null || true
first_pid=""
echo "windows: a screen reader's client read the launcher's buttons, the start dialog's selection through its one object, and pressed buttons by their default action"

# At 200 % (LogPixels 192, as the display settings write it) the launcher is made twice the
# script's 640x420: the manifest's DPI awareness and the host's DPI queries.
as_user wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >"$work/reg-dpi.log" 2>&1 \
  || fail "wine reg (LogPixels) failed"
ARKEVEN_HOST_LOG="$(windows_path "$work/dpi-host.log")" as_user wine "$program" >"$work/dpi.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "at 192 DPI the window \"Varn MID\" did not appear"
eval "$(xdotool getwindowgeometry --shell "$(find_window)")"
grep -q '^create MainFrm .* 1280x840\b' "$work/dpi-host.log" || fail "at 192 DPI the launcher was not made 1280x840"
# The display is 1280x800, so wine holds the window's height to the screen; its width shows.
[ "$WIDTH" -ge 1280 ] || fail "at 192 DPI the launcher's window is ${WIDTH}x$HEIGHT, narrower than 1280"
as_user timeout 30 wine taskkill /F /IM Arkeven.exe >"$work/taskkill.log" 2>&1 || fail "taskkill failed"
wait "$first_pid" 2>/dev/null || true
first_pid=""
as_user wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >>"$work/reg-dpi.log" 2>&1 || true
echo "windows: at 192 DPI the launcher is ${WIDTH}x$HEIGHT"

# The console twin without an option starts the launcher beside it and ends.
as_user timeout 30 wine "$twin" >"$work/twin-launch.log" 2>&1 || fail "Arkeven.com without an option failed"
wait_for '[ -n "$(find_window)" ]' 30 || fail "Arkeven.com did not start the launcher"
as_user timeout 30 wine taskkill /F /IM Arkeven.exe >>"$work/taskkill.log" 2>&1 || fail "taskkill failed"
wait_for '[ -z "$(find_window)" ]' 20 || fail "the launcher that Arkeven.com started is still there"
echo "windows: Arkeven.com without an option started the launcher and ended"

# The command-line options write to the console they were started from, with no window.
as_user timeout 60 wine "$program" --list-drives >"$work/list-drives.log" 2>&1 || fail "--list-drives failed"
grep -q '^C:  ' "$work/list-drives.log" || fail "--list-drives printed no line for C:"
status=0
as_user timeout 60 wine "$program" --make-stick C: --yes >"$work/make-stick.log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "--make-stick C: (not a USB drive) ended with status $status, not 2"
grep -q 'C: is not a USB drive' "$work/make-stick.log" || fail "--make-stick C: did not say why it refused"
echo "windows: --list-drives and --make-stick answer on the console"

echo "$script_name: passed"
