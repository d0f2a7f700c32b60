#!/usr/bin/env bash
# The Windows build under wine: builds build-win (incrementally), runs test_windows (the profile
# tests shared with the POSIX build, the agreement of the system's profile reader with ours, the
# Win32 host, marker and copies, the format entry points and the FAT32 writer for large volumes), then starts Arkeven.exe from the Windows CD tree on an Xvfb
# display: the window "Varn MID" appears, a second start ends and leaves it running, and Tab +
# Space (the exit button 1001) closes it and ends the program; --list-drives and --make-stick
# answer on the console.
# Skips (exit 0) when the cross compiler, wine, Xvfb or xdotool is missing.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ARKEVEN_WINDOWS_BUILD_DIR:-$source_dir/build-win}"

if [ "${1:-}" != "--on-display" ]; then
  for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine wineboot wineserver Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP windows_build_and_wine: $tool is missing (scripts/setup installs it)"
      exit 0
    fi
  done
  started=$SECONDS
  "$source_dir/scripts/build-windows" --target arkeven test_windows windows_cd_program >/dev/null
  echo "windows: build $((SECONDS - started)) s"
  exec "$source_dir/scripts/with-xvfb" bash "$0" --on-display
fi

work="$(mktemp -d /tmp/arkeven-wine.XXXXXX)"
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all,err+module
first_pid=""
cleanup() {
  [ -n "$first_pid" ] && kill "$first_pid" 2>/dev/null
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true # the server writes the registry while it goes
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "windows_build_and_wine: $*" >&2
  for log in "$work"/*.log; do
    [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
  done
  exit 1
}

# A fresh prefix per run. Made without a display, so wine sets it up without windows; an
# unmanaged X11 driver, since without a window manager DestroyWindow waits for one. The wine
# server of the set-up must be gone before the first window: its desktop has no display.
started=$SECONDS
env -u DISPLAY wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$work/reg.log" 2>&1 \
  || fail "wine reg failed"
wineserver -w
echo "windows: wine prefix $((SECONDS - started)) s"

# ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks reads UTF-8 names from a file
# without a byte-order mark: Windows (not only wine) reads such a file in the ANSI code page.
# tests/win32/ProfileAgreementTest.cpp lists that difference.
# Drives X: (40 GB) and Y: (32 GiB, the largest FAT32 the system's format service makes) are sparse
# image files, for the format's choice between the service and the platform's own FAT32 writer.
truncate -s 40G "$work/large.img"
truncate -s 32G "$work/limit.img"
ln -s "$work/large.img" "$WINEPREFIX/dosdevices/x::"
ln -s "$work/limit.img" "$WINEPREFIX/dosdevices/y::"
export ARKEVEN_TEST_LARGE_DRIVE=X ARKEVEN_TEST_LIMIT_DRIVE=Y

started=$SECONDS
wine "$build/tests/test_windows.exe" --gtest_brief=1 \
  --gtest_filter='-ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks' >"$work/test_windows.log" 2>&1 \
  || fail "test_windows failed"
grep -q "needs the drives of windows_build_and_wine.sh" "$work/test_windows.log" \
  && fail "the large-volume format test did not see drives X: and Y:"
echo "windows: test_windows $((SECONDS - started)) s: $(grep -E '^\[  (PASSED|SKIPPED) ' "$work/test_windows.log" | tr -s ' ' | tr '\n' ' ')"

started=$SECONDS
program="$build/cd/AUTORUN/Arkeven.exe"
[ -f "$program" ] || fail "$program not built"
# Mapped windows only: wine may make and drop X windows for a Win32 window before it shows it.
find_window() { xdotool search --onlyvisible --name '^Varn MID$' 2>/dev/null | head -n 1; }
wait_for() {
  local what=$1 seconds=$2
  for _ in $(seq $((seconds * 10))); do
    eval "$what" && return 0
    sleep 0.1
  done
  return 1
}

ARKEVEN_HOST_LOG="$work/first-host.log" wine "$program" >"$work/first.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "the window \"Varn MID\" did not appear"
window=$(find_window)
echo "windows: launcher window $window after $((SECONDS - started)) s"

ARKEVEN_HOST_LOG="$work/second-host.log" timeout 30 wine "$program" >"$work/second.log" 2>&1 \
  || fail "the second instance did not end cleanly"
if [ -s "$work/second-host.log" ]; then fail "the second instance made a window"; fi
kill -0 "$first_pid" 2>/dev/null || fail "the first instance ended with the second"
[ "$(find_window)" = "$window" ] || fail "the first window went away"
echo "windows: second instance ended, first still running"

xdotool key --window "$(find_window)" Tab 2>"$work/xdotool.log" || fail "Tab did not reach the window"
sleep 0.3
# The button acts on the key press; the window may be gone before xdotool sends the release,
# which xdotool then reports as BadWindow. What counts is checked below.
xdotool key --window "$(find_window)" space 2>>"$work/xdotool.log" || true
wait_for '! kill -0 "$first_pid" 2>/dev/null' 20 || fail "the program did not end after Tab + Space"
status=0
wait "$first_pid" || status=$?
first_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
[ -z "$(find_window)" ] || fail "the window is still there"
grep -q "^destroy MainFrm" "$work/first-host.log" || fail "no destroy of MainFrm in the host log"
echo "windows: Tab + Space closed the launcher; smoke test $((SECONDS - started)) s"

# At 200 % (LogPixels 192, as the display settings write it) the launcher is made twice the
# script's 640x420: the manifest's DPI awareness and the host's DPI queries.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >"$work/reg-dpi.log" 2>&1 \
  || fail "wine reg (LogPixels) failed"
ARKEVEN_HOST_LOG="$work/dpi-host.log" wine "$program" >"$work/dpi.log" 2>&1 &
first_pid=$!
wait_for '[ -n "$(find_window)" ]' 30 || fail "at 192 DPI the window \"Varn MID\" did not appear"
eval "$(xdotool getwindowgeometry --shell "$(find_window)")"
grep -q '^create MainFrm .* 1280x840\b' "$work/dpi-host.log" || fail "at 192 DPI the launcher was not made 1280x840"
# The display is 1280x800, so wine holds the window's height to the screen; its width shows.
[ "$WIDTH" -ge 1280 ] || fail "at 192 DPI the launcher's window is ${WIDTH}x$HEIGHT, narrower than 1280"
kill "$first_pid"
wait "$first_pid" 2>/dev/null || true
first_pid=""
wine reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >>"$work/reg-dpi.log" 2>&1 || true
echo "windows: at 192 DPI the launcher is ${WIDTH}x$HEIGHT"

# The command-line options write to the console they were started from, with no window.
timeout 60 wine "$program" --list-drives >"$work/list-drives.log" 2>&1 || fail "--list-drives failed"
grep -q '^C:  ' "$work/list-drives.log" || fail "--list-drives printed no line for C:"
status=0
timeout 60 wine "$program" --make-stick C: --yes >"$work/make-stick.log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "--make-stick C: (not a USB drive) ended with status $status, not 2"
grep -q 'C: is not a USB drive' "$work/make-stick.log" || fail "--make-stick C: did not say why it refused"
echo "windows: --list-drives and --make-stick answer on the console"
echo "windows_build_and_wine: passed"
