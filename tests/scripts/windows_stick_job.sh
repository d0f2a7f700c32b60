#!/usr/bin/env bash
# The whole stick job under wine: cmd runs the console twin from a batch file (Arkeven
# --make-stick E: --yes) through the real copies, read-back and installer call, the installer's
# line in the twin's output; its status in %ERRORLEVEL%, its output into a file; on a console (a
# pseudo-terminal) the twin redraws its line in place; the same job with a failing format ends
# failed with nothing copied; sticks with no partition table, GPT or a hybrid image get one MBR
# partition; a write-protected stick and a stick in use end with their own texts.
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

# Sticks as people bring them: one FAT volume over the whole disk, a GPT disk, a hybrid ISO
# image written with dd. Each job lays the disk out anew (the stand-in answers the layout calls
# on the image and refuses them, as Windows does, while the volume is not locked) and ends ready
# with one MBR partition, FAT32 LBA, from 1 MiB to the disk's end.
disk_sectors=$(( $(stat -c %s "$work/stick.img") / 512 ))
mkdir -p "$work/iso-tree" && echo hybrid >"$work/iso-tree/readme.txt"
xorriso -as mkisofs -quiet -o "$work/hybrid.iso" --protective-msdos-label "$work/iso-tree" 2>/dev/null ||
  fail "xorriso made no hybrid image"
for layout in whole-disk-fat gpt hybrid-iso; do
  dd if=/dev/zero of="$work/stick.img" bs=1M count=2 conv=notrunc status=none
  case $layout in
    whole-disk-fat) mkfs.fat -F 32 -n USERDATA "$work/stick.img" >/dev/null ;;
    gpt) printf 'label: gpt\nstart=2048, size=64M, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7\n' |
      sfdisk -q "$work/stick.img" >/dev/null ;;
    hybrid-iso) dd if="$work/hybrid.iso" of="$work/stick.img" conv=notrunc status=none ;;
  esac
  gpt_headers() { { dd if="$work/stick.img" bs=512 skip=1 count=1 status=none; tail -c 512 "$work/stick.img"; } | grep -c 'EFI PART' || true; }
  [ "$layout" != gpt ] || [ "$(gpt_headers)" -eq 2 ] || fail "gpt: the stick has no GPT to begin with"
  as_user timeout 300 wine "$twin" --make-stick E: --yes >"$work/layout-job.log" 2>&1 || fail "$layout: the job failed: $(tail -n 2 "$work/layout-job.log")"
  tr -d '\r' <"$work/layout-job.log" | grep -qE '^E \([0-9]+ MBytes\)  ready' || fail "$layout: the job did not end ready"
  entry=$(od -v -A n -t x1 -j 446 -N 16 "$work/stick.img" | tr -s ' ')
  [ "$(echo "$entry" | cut -d' ' -f6)" = 0c ] || fail "$layout: the partition is not FAT32 LBA: $entry"
  [ "$(od -A n -t u4 -j 454 -N 4 "$work/stick.img" | tr -d ' ')" = 2048 ] || fail "$layout: the partition does not start at 1 MiB"
  [ "$(od -A n -t u4 -j 458 -N 4 "$work/stick.img" | tr -d ' ')" = $((disk_sectors - 2048)) ] || fail "$layout: the partition does not reach the disk's end"
  [ "$(od -v -A n -t x1 -j 462 -N 48 "$work/stick.img" | tr -d ' \n0')" = "" ] || fail "$layout: more than one partition"
  [ "$(gpt_headers)" -eq 0 ] || fail "$layout: a GPT header is still there"
  [ -f "$work/stick/ldlinux.sys" ] || fail "$layout: no ldlinux.sys"
  echo "windows: a stick with $layout: laid out anew, one MBR FAT32 partition from 1 MiB, ready"
done

# A write-protected stick, as the disk's query answers and as the format service reports it, and
# a stick whose volume programs keep open: each ends with its own text before anything is
# written, the user's file and the disk as they were.
as_user sh -c "echo holiday >'$work/stick/holiday.jpg'"
disk_before=$(sha256sum "$work/stick.img" | cut -d' ' -f1)
installs_before=$(wc -l <"$work/installer.log")
refused_on_windows() { # CASE SETTING TEXT_ID [DISK]: DISK "laid out" when the format's refusal
  # follows the new layout (the disk then holds the new table, the user's files are kept)
  local text status=0
  text=$(sed -n "s/^$3=//p" "$work/cd/AUTORUN/Localization/en.txt" | tr -d '\r')
  as_user env "$2" timeout 300 wine "$twin" --make-stick E: --yes >"$work/refused.log" 2>&1 || status=$?
  [ "$status" -ne 0 ] || fail "$1: the job ended with status 0"
  tr -d '\r' <"$work/refused.log" | grep -qF "failed: $text" || fail "$1: not text $3: $(tail -n 2 "$work/refused.log")"
  [ "$(cat "$work/stick/holiday.jpg")" = holiday ] || fail "$1: the user's file is gone"
  if [ "${4:-}" != "laid out" ]; then
    [ "$(sha256sum "$work/stick.img" | cut -d' ' -f1)" = "$disk_before" ] || fail "$1: the disk was written"
  fi
  [ "$(wc -l <"$work/installer.log")" -eq "$installs_before" ] || fail "$1: the installer ran"
  echo "windows: $1: text $3, nothing written"
}
refused_on_windows "write-protected stick" ARKEVEN_TEST_WRITE_PROTECTED=1 33
refused_on_windows "format service finds it write-protected" ARKEVEN_TEST_FORMAT_REFUSES=write-protected 33 "laid out"
refused_on_windows "volume kept open" ARKEVEN_TEST_FORMAT_REFUSES=in-use 34 "laid out"

echo "$script_name: passed"
