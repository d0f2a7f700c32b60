#!/usr/bin/env bash
# The Windows build under wine, as Windows would judge it: wine runs as an unprivileged user (the
# CI runs as root: a user of its own, arkeven-wine, with its own HOME and WINEPREFIX), the CD tree
# is a CD-ROM drive D: whose files are read-only, and the program runs from there.
# Builds build-win (incrementally), runs test_windows (the profile tests shared with the POSIX
# build, the agreement of the system's profile reader with ours, the Win32 host, marker and
# copies, the format entry points, the FAT32 writer for large volumes, also on a stand-in device
# that limits writes until extended I/O is allowed and refuses the lock while in use), then on an
# Xvfb display: the window "Varn MID" appears, a second start ends and leaves it running, Tab +
# Space (the exit button 1001) closes it; --list-drives and --make-stick answer on the console;
# the whole stick job (Arkeven.com --make-stick E: --yes) writes drive E:, which the program takes
# for a USB stick (ARKEVEN_TEST_USB_DRIVES), through the real copies, read-back and installer call,
# with stand-ins only for what wine lacks (fmifs.dll, the device maker's syslinux.exe; see
# tests/win32/); the same job with a failing format ends failed with nothing copied; and cmd runs
# the console twin from a batch file: its status in %ERRORLEVEL%, its output into a file.
# Skips (exit 0) when the cross compiler, wine, Xvfb or xdotool is missing.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
build="${ARKEVEN_WINDOWS_BUILD_DIR:-$source_dir/build-win}"

if [ "${1:-}" != "--on-display" ]; then
  for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine wineboot wineserver Xvfb xdotool sfdisk; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "SKIP windows_build_and_wine: $tool is missing (scripts/setup installs it)"
      exit 0
    fi
  done
  started=$SECONDS
  "$source_dir/scripts/build-windows" --target arkeven arkeven_console test_windows windows_cd_program >/dev/null
  echo "windows: build $((SECONDS - started)) s"
  exec "$source_dir/scripts/with-xvfb" bash "$0" --on-display
fi

work="$(mktemp -d /tmp/arkeven-wine.XXXXXX)"
chmod 755 "$work"
mkdir "$work/home"
export WINEPREFIX="$work/home/prefix"
export WINEDEBUG=-all,err+module
# Wine as root lets a program open read-only files for writing, as no Windows does.
user=arkeven-wine
if [ "$(id -u)" -eq 0 ]; then
  id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
  chown "$user:" "$work" "$work/home"
  as_user() { runuser -u "$user" -- env HOME="$work/home" WINEPREFIX="$WINEPREFIX" "$@"; }
else
  as_user() { env HOME="$work/home" "$@"; }
fi
first_pid=""
cleanup() {
  [ -n "$first_pid" ] && kill "$first_pid" 2>/dev/null
  as_user wineserver -k 2>/dev/null || true
  as_user wineserver -w 2>/dev/null || true # the server writes the registry while it goes
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
# A folder of the work area as wine names it (drive Z: is the root).
windows_path() { echo "Z:${1//\//\\}"; }

# A fresh prefix per run. Made without a display, so wine sets it up without windows; an
# unmanaged X11 driver, since without a window manager DestroyWindow waits for one. The wine
# server of the set-up must be gone before the first window: its desktop has no display.
started=$SECONDS
as_user env -u DISPLAY wineboot -i >"$work/wineboot.log" 2>&1 || fail "wineboot failed"
as_user env -u DISPLAY wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >"$work/reg.log" 2>&1 \
  || fail "wine reg failed"
as_user env -u DISPLAY wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f >>"$work/reg.log" 2>&1 \
  || fail "wine reg failed"
as_user wineserver -w
# The program loads fmifs.dll from the system folder only.
as_user cp "$build/tests/fmifs.dll" "$WINEPREFIX/drive_c/windows/system32/fmifs.dll"
echo "windows: wine prefix for $(as_user id -un) $((SECONDS - started)) s"

# The CD as a user has it: drive D:, a CD-ROM, its files read-only and owned by someone else.
# The live system's files are the build's when it made them, otherwise bytes of their own: the
# job only copies them. syslinux\syslinux.exe is the stand-in of the device maker's installer.
cp -r "$build/cd" "$work/cd"
if [ ! -f "$work/cd/ISOLINUX/root.lzm" ]; then
  mkdir -p "$work/cd/ISOLINUX"
  head -c 3000000 /dev/urandom >"$work/cd/ISOLINUX/root.lzm"
  head -c 700000 /dev/urandom >"$work/cd/ISOLINUX/vmlinuz"
  head -c 500000 /dev/urandom >"$work/cd/ISOLINUX/initrd.img"
  printf 'DEFAULT live\nLABEL live\n  KERNEL vmlinuz\n  APPEND initrd=initrd.img\n' >"$work/cd/ISOLINUX/syslinux.cfg"
  echo "live" >"$work/cd/_DEROZAZLIVE"
fi
cp "$build/tests/syslinux.exe" "$work/cd/syslinux/syslinux.exe"
chmod -R a-w "$work/cd"
ln -s "$work/cd" "$WINEPREFIX/dosdevices/d:"

# The stick of the whole job below (and of the copy tests): drive E: is its volume's root folder,
# and E:'s device (what "\\.\E:" opens) a whole-disk image with one FAT32 partition, where the
# installer puts the boot code and the active flag that the read-back then checks. Sparse, and
# large enough for the job's room check: a FAT32 volume of 4096-byte clusters takes about 260 MB
# before the CD's files.
as_user mkdir "$work/stick"
as_user truncate -s $(($(du -sm --apparent-size "$work/cd" | cut -f1) + 320))M "$work/stick.img"
echo 'start=2048, type=c' | as_user sfdisk -q "$work/stick.img" >/dev/null || fail "sfdisk failed"
ln -s "$work/stick" "$WINEPREFIX/dosdevices/e:"
ln -s "$work/stick.img" "$WINEPREFIX/dosdevices/e::"
export ARKEVEN_TEST_USB_DRIVES=E ARKEVEN_TEST_INSTALLER_LOG="$(windows_path "$work/installer.log")"

# ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks reads UTF-8 names from a file
# without a byte-order mark: Windows (not only wine) reads such a file in the ANSI code page.
# tests/win32/ProfileAgreementTest.cpp lists that difference.
# Drives X: (40 GB) and Y: (32 GiB, the largest FAT32 the system's format service makes) are sparse
# image files, for the format's choice between the service and the platform's own FAT32 writer.
as_user truncate -s 40G "$work/large.img"
as_user truncate -s 32G "$work/limit.img"
ln -s "$work/large.img" "$WINEPREFIX/dosdevices/x::"
ln -s "$work/limit.img" "$WINEPREFIX/dosdevices/y::"
export ARKEVEN_TEST_LARGE_DRIVE=X ARKEVEN_TEST_LIMIT_DRIVE=Y

started=$SECONDS
as_user wine "$build/tests/test_windows.exe" --gtest_brief=1 \
  --gtest_filter='-ProfileFile.NamesMatchWithoutRegardToCaseOrSurroundingBlanks' >"$work/test_windows.log" 2>&1 \
  || fail "test_windows failed"
grep -q "needs the drives of windows_build_and_wine.sh" "$work/test_windows.log" \
  && fail "the large-volume format test did not see drives X: and Y:"
echo "windows: test_windows $((SECONDS - started)) s: $(grep -E '^\[  (PASSED|SKIPPED) ' "$work/test_windows.log" | tr -s ' ' | tr '\n' ' ')"

started=$SECONDS
program='D:\AUTORUN\Arkeven.exe'
[ -f "$work/cd/AUTORUN/Arkeven.exe" ] || fail "Arkeven.exe not built"
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
first_pid=""
echo "windows: a screen reader's client read the launcher's buttons and pressed Minimize by its default action"

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
twin='D:\AUTORUN\Arkeven.com'
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

started=$SECONDS
status=0
as_user timeout 300 wine "$twin" --make-stick E: --yes >"$work/job.log" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the stick job ended with status $status"
grep -qE '^E \([0-9]+ MBytes\)  ready' "$work/job.log" || fail "the stick job did not end ready"
for copy in .Derozazlive:_DEROZAZLIVE initrd.img:ISOLINUX/initrd.img root.lzm:ISOLINUX/root.lzm \
    syslinux.cfg:ISOLINUX/syslinux.cfg vmlinuz:ISOLINUX/vmlinuz; do
  cmp -s "$work/stick/${copy%%:*}" "$work/cd/${copy#*:}" || fail "${copy%%:*} on the stick differs from the CD's"
  [ -z "$(find "$work/stick/${copy%%:*}" -perm /222)" ] || fail "${copy%%:*} lost the CD's read-only attribute"
done
[ -f "$work/stick/ldlinux.sys" ] || fail "no ldlinux.sys on the stick"
installer_line=$(tr -d '\r' <"$work/installer.log")
[[ "$installer_line" == *'syslinux'*'-fma E:' ]] || fail "the installer got the command line '$installer_line'"
echo "windows: whole job ready in $((SECONDS - started)) s: copies read back from a read-only CD, installer run as '$installer_line'"

# The same job with a format that fails: nothing is copied, the installer is not run.
status=0
ARKEVEN_TEST_FORMAT_FAILS=1 as_user timeout 300 wine "$twin" --make-stick E: --yes >"$work/failed-job.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the job with a failing format ended with status $status, not 1"
grep -qE '^E \([0-9]+ MBytes\)  failed: ' "$work/failed-job.log" || fail "the job with a failing format did not end failed"
[ -z "$(ls -A "$work/stick")" ] || fail "files on the stick after a failed format: $(ls -A "$work/stick")"
[ "$(wc -l <"$work/installer.log")" -eq 1 ] || fail "the installer ran after a failed format"
echo "windows: a failed format ends the job failed, nothing copied"

# ---- The console twin from cmd: "Arkeven" finds Arkeven.com before Arkeven.exe, cmd waits for
# ---- it and sees its status, and a redirection gets its output.
cat >"$work/twin.bat" <<BATCH
@echo off
D:
cd \\AUTORUN
Arkeven --make-stick C: --yes 2>$(windows_path "$work/twin-make-stick.log")
echo make-stick status %ERRORLEVEL%
Arkeven --list-drives >$(windows_path "$work/twin-list-drives.log")
echo list-drives status %ERRORLEVEL%
BATCH
chmod 644 "$work/twin.bat"
as_user timeout 120 wine cmd /c "$(windows_path "$work/twin.bat")" >"$work/twin.log" 2>&1 || fail "cmd /c twin.bat failed"
grep -q '^make-stick status 2' "$work/twin.log" || fail "%ERRORLEVEL% after Arkeven --make-stick C: is not 2"
grep -q 'C: is not a USB drive' "$work/twin-make-stick.log" || fail "Arkeven --make-stick C: did not say why it refused"
grep -q '^list-drives status 0' "$work/twin.log" || fail "%ERRORLEVEL% after Arkeven --list-drives is not 0"
grep -q '^C:  ' "$work/twin-list-drives.log" || fail "Arkeven --list-drives > file left no line for C: in the file"
echo "windows: the console twin answers cmd: status 2 in %ERRORLEVEL%, --list-drives into a file"
echo "windows_build_and_wine: passed"
