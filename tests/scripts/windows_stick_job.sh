#!/usr/bin/env bash
# The whole stick job under wine: cmd runs the console twin from a batch file (Arkeven
# --make-stick E: --yes) through the real copies, read-back and installer call, the installer's
# line in the twin's output; its status in %ERRORLEVEL%, its output into a file; on a console (a
# pseudo-terminal) the twin redraws its line in place; the same job with a failing format ends
# failed with nothing copied; a write-protected stick and a stick in use end with their own texts.
set -euo pipefail
source "$(dirname "$0")/lib/wine.sh"
wine_test_init "$@"

# ---- The console twin from cmd: "Arkeven" finds Arkeven.com before Arkeven.exe, cmd waits for
# ---- it and sees its status, and a redirection gets its output, the installer's lines included:
# ---- the whole stick job (Arkeven --make-stick E: --yes), a refused target and --list-drives.
started=$SECONDS
cat >"$work/twin.bat" <<BATCH
@echo off
D:
cd \\AUTORUN
Arkeven --make-stick E: --yes >$(windows_path "$work/job.log") 2>&1
echo job status %ERRORLEVEL%
Arkeven --make-stick C: --yes 2>$(windows_path "$work/twin-make-stick.log")
echo make-stick status %ERRORLEVEL%
Arkeven --list-drives >$(windows_path "$work/twin-list-drives.log")
echo list-drives status %ERRORLEVEL%
BATCH
chmod 644 "$work/twin.bat"
as_user timeout 420 wine cmd /c "$(windows_path "$work/twin.bat")" >"$work/twin.log" 2>&1 || fail "cmd /c twin.bat failed"
grep -q '^job status 0' "$work/twin.log" || fail "the stick job did not end with status 0"
grep -qE '^E \([0-9]+ MBytes\)  ready' "$work/job.log" || fail "the stick job did not end ready"
for copy in .Derozazlive:_DEROZAZLIVE initrd.img:ISOLINUX/initrd.img root.lzm:ISOLINUX/root.lzm \
    syslinux.cfg:ISOLINUX/syslinux.cfg vmlinuz:ISOLINUX/vmlinuz; do
  cmp -s "$work/stick/${copy%%:*}" "$work/cd/${copy#*:}" || fail "${copy%%:*} on the stick differs from the CD's"
  [ -z "$(find "$work/stick/${copy%%:*}" -perm /222)" ] || fail "${copy%%:*} lost the CD's read-only attribute"
done
[ -f "$work/stick/ldlinux.sys" ] || fail "no ldlinux.sys on the stick"
# The installer runs in the system folder, never in a folder of the stick it is to lock.
installer_ran_as() { [[ "$(sed -n "$1p" "$work/installer.log" | tr -d '\r' | tr 'A-Z' 'a-z')" == *'syslinux'*'-fma e: in c:\windows\system32' ]]; }
installer_line=$(head -n 1 "$work/installer.log" | tr -d '\r')
installer_ran_as 1 || fail "the installer got the command line and folder '$installer_line'"
tr -d '\r' <"$work/job.log" | grep -q '^syslinux stand-in: E: made bootable$' \
  || fail "the installer's line is not in the twin's output"
echo "windows: whole job ready in $((SECONDS - started)) s: copies read back from a read-only CD, installer run as '$installer_line', its line in the twin's output"
grep -q '^make-stick status 2' "$work/twin.log" || fail "%ERRORLEVEL% after Arkeven --make-stick C: is not 2"
grep -q 'C: is not a USB drive' "$work/twin-make-stick.log" || fail "Arkeven --make-stick C: did not say why it refused"
grep -q '^list-drives status 0' "$work/twin.log" || fail "%ERRORLEVEL% after Arkeven --list-drives is not 0"
grep -q '^C:  ' "$work/twin-list-drives.log" || fail "Arkeven --list-drives > file left no line for C: in the file"
echo "windows: the console twin answers cmd: status 2 in %ERRORLEVEL%, --list-drives into a file"

# On a console (a pseudo-terminal here, which wine makes the twin's console) the twin switches its
# output to control sequences and redraws its line in place; the installer writes to that console.
# Wine's console shows the sequences as they are, between its own cursor switches. The twin starts
# in the stick's root folder, where the installer must not start.
(cd "$work/stick" && as_user timeout 300 script -qefc "wine 'D:\\AUTORUN\\Arkeven.com' --make-stick E: --yes" /dev/null \
  </dev/null >"$work/console-job.log" 2>&1) || fail "the stick job on a console failed"
installer_ran_as 2 || fail "from the stick's folder the installer ran as '$(sed -n 2p "$work/installer.log")'"
console_text=$(tr -d '\r' <"$work/console-job.log" | sed 's/\x1b\[?25[lh]//g')
[[ "$console_text" == *$'\x1b[1F\x1b[2KE'* ]] || fail "on a console the twin did not redraw its line in place"
[[ "$console_text" == *'ready'* ]] || fail "the stick job on a console did not end ready"
[[ "$console_text" == *'syslinux'*'bootable'* ]] || fail "the installer's line is not on the twin's console"
echo "windows: on a console the twin redraws its line in place, the installer's line among them"

# The same job with a format that fails: nothing is copied, the installer is not run.
status=0
ARKEVEN_TEST_FORMAT_FAILS=1 as_user timeout 300 wine "$twin" --make-stick E: --yes >"$work/failed-job.log" 2>&1 || status=$?
[ "$status" -eq 1 ] || fail "the job with a failing format ended with status $status, not 1"
grep -qE '^E \([0-9]+ MBytes\)  failed: ' "$work/failed-job.log" || fail "the job with a failing format did not end failed"
[ -z "$(ls -A "$work/stick")" ] || fail "files on the stick after a failed format: $(ls -A "$work/stick")"
[ "$(wc -l <"$work/installer.log")" -eq 2 ] || fail "the installer ran after a failed format"
echo "windows: a failed format ends the job failed, nothing copied"

# A write-protected stick, as the disk's query answers and as the format service reports it, and
# a stick whose volume programs keep open: each ends with its own text before anything is
# written, the user's file and the disk as they were.
as_user sh -c "echo holiday >'$work/stick/holiday.jpg'"
disk_before=$(sha256sum "$work/stick.img" | cut -d' ' -f1)
installs_before=$(wc -l <"$work/installer.log")
refused_on_windows() { # CASE SETTING TEXT_ID
  local text status=0
  text=$(sed -n "s/^$3=//p" "$work/cd/AUTORUN/Localization/en.txt" | tr -d '\r')
  as_user env "$2" timeout 300 wine "$twin" --make-stick E: --yes >"$work/refused.log" 2>&1 || status=$?
  [ "$status" -ne 0 ] || fail "$1: the job ended with status 0"
  tr -d '\r' <"$work/refused.log" | grep -qF "failed: $text" || fail "$1: not text $3: $(tail -n 2 "$work/refused.log")"
  [ "$(cat "$work/stick/holiday.jpg")" = holiday ] || fail "$1: the user's file is gone"
  [ "$(sha256sum "$work/stick.img" | cut -d' ' -f1)" = "$disk_before" ] || fail "$1: the disk was written"
  [ "$(wc -l <"$work/installer.log")" -eq "$installs_before" ] || fail "$1: the installer ran"
  echo "windows: $1: text $3, nothing written"
}
refused_on_windows "write-protected stick" ARKEVEN_TEST_WRITE_PROTECTED=1 33
refused_on_windows "format service finds it write-protected" ARKEVEN_TEST_FORMAT_REFUSES=write-protected 33
refused_on_windows "volume kept open" ARKEVEN_TEST_FORMAT_REFUSES=in-use 34

echo "$script_name: passed"
