#!/usr/bin/env bash
# The writer when things go wrong, on the real program (headless) and a copy of the demo CD.
# Before anything is written, each with its own final text and the stick byte for byte as it
# was: a live-system file missing from the CD (then Start again once it is back), a stick too
# small, a root image too large for FAT32, no installer, the tools missing, a write-protected
# stick, a stick in use, the stick gone before Start. Disks above 1 TiB and 2 TiB get a
# partition FAT32 holds.
# Then: no stick chosen; the stick pulled out during the copy; an installer that fails; a copy
# spoilt on its way; a user without rights.
source "$(dirname "$0")/lib/system.sh"
system_test_init "$@"
require_tools mdir mtype mcopy mkfs.fat cmp sha256sum

ready_text=$(text_of 25)
failed_text=$(text_of 27)
cd_copy="$work/cd"
cp -a "$cd_root" "$cd_copy"
stick="$work/stick.img"

last_writer_line() {
  grep '^text UsbFrm 10005 ' "$host_log" | tail -n 1 | cut -d' ' -f4-
}
expect_failure_text() { # CASE [TEXT]
  local text=${2:-$failed_text}
  wait_for_log "^text UsbFrm 10005 $text\$" 60 || fail "$1: no '$text'"
  if grep -qxF "text UsbFrm 10005 $ready_text" "$host_log"; then
    fail "$1: text 25 was shown"
  fi
}
# refused CASE TEXT [STEP]: a job on $stick that must fail before its first write: it ends with
# TEXT, the format never starts, the stick is byte-identical and a console line of STEP (the
# checks, or the hold at the format's start) names the cause.
refused() {
  local name=$1 text=$2 step=${3:-check} before
  before=$(digest "$stick")
  { write_job_steps; close_all_steps; } >"$work/refused.script"
  start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/refused.script" ARKEVEN_VIRTUAL_STICKS="$stick" \
    ARKEVEN_CD_ROOT="$cd_copy"
  finish_program 60
  [ "$(last_writer_line)" = "$text" ] || fail "$name: the writer ended with '$(last_writer_line)', not '$text'"
  grep -q '^progress UsbFrm [1-9]' "$host_log" && fail "$name: the job went on after its checks"
  [ "$(digest "$stick")" = "$before" ] || fail "$name: the stick was written"
  grep -q "^$step: " "$program_out" || fail "$name: no console line names the cause"
  note "$name: '$text', nothing written ($(grep "^$step: " "$program_out" | head -n 1))"
}

# Loop devices and mounts of the root-only cases, undone whatever happens.
loop_devices=()
mounted=()
busy_pid=""
release_devices() {
  local item
  [ -n "$busy_pid" ] && kill "$busy_pid" 2>/dev/null
  for item in "${mounted[@]}"; do umount "$item" 2>/dev/null || umount -l "$item" 2>/dev/null || true; done
  for item in "${loop_devices[@]}"; do losetup -d "$item" 2>/dev/null || true; done
  cleanup_system_test
}
trap release_devices EXIT

# ---- 1. ISOLINUX/root.lzm missing: text 30 at once, nothing written; Start is offered again
# ---- and, with the file back, the whole job runs from the format.
# The program runs from the CD copy, so the copy is its CD without any setting.
user_stick "$stick" 300M
stick_before=$(digest "$stick")
mv "$cd_copy/ISOLINUX/root.lzm" "$work/root.lzm"
{
  write_job_steps
  echo "wait-file $work/root.lzm.restored 90"
  # The focus is on the final text, read out; Tab goes on to Start (1014 is disabled).
  printf 'key UsbFrm tab\nkey UsbFrm space\n'
  close_all_steps
} >"$work/again.script"
program="$cd_copy/AUTORUN/arkeven"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/again.script" ARKEVEN_VIRTUAL_STICKS="$stick"
expect_failure_text "missing root.lzm" "$(text_of 30)"
grep -qE "^text UsbFrm 10011 E \([0-9]+ MBytes\) · $stick\$" "$host_log" ||
  fail "missing root.lzm: the writer does not name the stick by its file: $(grep '^text UsbFrm 10011' "$host_log")"
grep -q '^progress UsbFrm [1-9]' "$host_log" && fail "missing root.lzm: the job went on after its checks"
[ "$(digest "$stick")" = "$stick_before" ] || fail "missing root.lzm: the stick was written"
grep -q 'check: D:\\ISOLINUX\\root.lzm is missing from the CD' "$program_out" || fail "missing root.lzm: the console does not name the file"

lines_before=$(wc -l <"$host_log")
mv "$work/root.lzm" "$cd_copy/ISOLINUX/root.lzm"
touch "$work/root.lzm.restored"
wait_for_log "^text UsbFrm 10005 $ready_text\$" 60 || fail "Start again: no text 25"
finish_program 60
tail -n +"$((lines_before + 1))" "$host_log" | grep -E '^(progress UsbFrm |text UsbFrm 10005 )' >"$work/second.trace"
[ "$(head -n 2 "$work/second.trace" | tr '\n' '|')" = "progress UsbFrm 0|text UsbFrm 10005 0% completed|" ] ||
  fail "Start again did not begin with the format at 0: $(head -n 2 "$work/second.trace" | tr '\n' '|')"
grep -qxF "progress UsbFrm 78" "$work/second.trace" || fail "Start again: no format done report"
stick_names "$stick" | grep -qx 'ldlinux.sys' || fail "Start again: the installer did not run"
stick_file_equals "$stick" root.lzm "$cd_copy/ISOLINUX/root.lzm" || fail "Start again: root.lzm differs"
note "missing root.lzm: text 30 and the stick untouched, then Start again wrote the stick"

# ---- Refused before the first write, one case a line.
user_stick "$stick" 196M
refused "196 MB stick" "$(text_of 29 | sed 's/%s/512 MB/')"
user_stick "$stick" 300M
mv "$cd_copy/ISOLINUX/vmlinuz" "$work/vmlinuz"
refused "no vmlinuz" "$(text_of 30)"
mv "$work/vmlinuz" "$cd_copy/ISOLINUX/vmlinuz"
mv "$cd_copy/ISOLINUX/root.lzm" "$work/root.lzm"
truncate -s 4608M "$cd_copy/ISOLINUX/root.lzm"
refused "4.5 GiB root.lzm" "$(text_of 30)"
mv "$work/root.lzm" "$cd_copy/ISOLINUX/root.lzm"
mv "$cd_copy/syslinux/syslinux" "$work/syslinux"
refused "no installer" "$(text_of 30)"
mv "$work/syslinux" "$cd_copy/syslinux/syslinux"
if [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
  # The system's mtools hidden in a mount namespace of the program's own, the CD's own (which
  # the program runs first) put aside.
  mkdir -p "$work/cd-mtools"
  for tool in mtools mattrib mcopy mdel mdir mmove mtype; do
    if [ -e "$cd_copy/syslinux/$tool" ] || [ -L "$cd_copy/syslinux/$tool" ]; then
      mv "$cd_copy/syslinux/$tool" "$work/cd-mtools/"
    fi
  done
  mtools=$(readlink -f "$(command -v mcopy)")
  cat >"$work/without-mtools" <<SCRIPT
#!/bin/sh
exec unshare --mount -- sh -c 'mount --bind /dev/null "$mtools" && exec "\$0" "\$@"' "$cd_copy/AUTORUN/arkeven" "\$@"
SCRIPT
  chmod +x "$work/without-mtools"
  program="$work/without-mtools"
  refused "no mtools" "$(text_of 31 | sed 's/%s/mattrib, mcopy, mdel, mdir, mmove, mtype (mtools)/')"
  program="$cd_copy/AUTORUN/arkeven"
  find "$work/cd-mtools" -mindepth 1 -maxdepth 1 -exec mv {} "$cd_copy/syslinux/" \;
else
  note "not root: the missing tools are not tried"
fi

# ---- The sticks people bring, root only (loop devices, mounts, a small tmpfs).
if [ "$(id -u)" -eq 0 ] && losetup -f >/dev/null 2>&1; then
  # Write-protected: a read-only loop device over the stick, as a card's lock switch sets the
  # kernel's read-only flag.
  user_stick "$stick" 300M
  locked=$(losetup -r -f --show "$stick")
  loop_devices+=("$locked")
  image=$stick
  stick=$locked
  refused "write-protected stick" "$(text_of 33)"
  stick=$image
  losetup -d "$locked"

  # In use: its volume mounted, a shell inside it; the unmount is refused, the user's file stays.
  mkdir -p "$work/mnt"
  if ! mount -o ro,loop "$stick" "$work/mnt" 2>/dev/null; then
    # A kernel without FAT (some containers): the user's stick holds ext2 instead.
    mkfs.ext2 -q -F "$stick"
    mount -o ro,loop "$stick" "$work/mnt"
  fi
  mounted+=("$work/mnt")
  (cd "$work/mnt" && exec sleep 300) &
  busy_pid=$!
  refused "stick in use" "$(text_of 34)" format
  kill "$busy_pid"; wait "$busy_pid" 2>/dev/null || true; busy_pid=""
  umount "$work/mnt"

  # Disks above 1 TiB, as sparse files on a tmpfs of 64 MiB: the partition is what FAT32 with
  # 4096-byte clusters holds, the rest of the disk unallocated; the format then runs into the
  # tmpfs's end (text 27) long before it could write a terabyte.
  mkdir -p "$work/small"
  mount -t tmpfs -o size=64m tmpfs "$work/small"
  mounted+=("$work/small")
  for size in 1536G 3T; do
    big="$work/small/disk-$size.img"
    truncate -s "$size" "$big"
    { write_job_steps; close_all_steps; } >"$work/big.script"
    start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/big.script" ARKEVEN_VIRTUAL_STICKS="$big" \
      ARKEVEN_CD_ROOT="$cd_copy"
    finish_program 60
    [ "$(last_writer_line)" = "$failed_text" ] || fail "$size disk: the writer ended with '$(last_writer_line)'"
    grep -q '/proc/[0-9]*/fd/' "$program_out" && fail "$size disk: the console names the held descriptor: $(grep '/proc/' "$program_out")"
    grep -qF "$big" "$program_out" || fail "$size disk: the console does not name the disk as the user knows it"
    # The first partition entry: type 0x0C from sector 2048, its length in sectors.
    entry=$(od -A n -t x1 -j 446 -N 16 "$big" | tr -s ' ')
    [ "$(echo "$entry" | cut -d' ' -f6)" = 0c ] || fail "$size disk: partition type is not FAT32 LBA: $entry"
    [ "$(od -A n -t u4 -j 454 -N 4 "$big" | tr -d ' ')" = 2048 ] || fail "$size disk: the partition does not start at 1 MiB"
    sectors=$(od -A n -t u4 -j 458 -N 4 "$big" | tr -d ' ')
    [ "$sectors" -ge $((1 << 31)) ] || fail "$size disk: only $sectors sectors of $size"
    [ -z "${planned:-}" ] || [ "$sectors" = "$planned" ] || fail "$size disk: $sectors sectors, not the $planned of the 1.5 TiB disk"
    planned=$sectors
    [ "$(od -v -A n -t x1 -j 462 -N 48 "$big" | tr -d ' \n0')" = "" ] || fail "$size disk: more than one partition"
    rm -f "$big"
    note "$size disk: one partition of $((sectors / 2048)) MiB from 1 MiB, the rest unallocated"
  done
  # mkfs.fat takes that size for FAT32 with 4096-byte clusters: its checks pass, and only the
  # small tmpfs stops it writing its 2 GiB of FATs.
  scratch="$work/small/scratch.img"
  truncate -s $((sectors * 512)) "$scratch"
  mkfs.fat -v -F 32 -S 512 -s 8 -h 2048 -I "$scratch" $((sectors / 2)) >"$work/mkfs.out" 2>&1 || true
  grep -q 'provides [0-9]* clusters' "$work/mkfs.out" || fail "mkfs.fat refuses the planned size: $(cat "$work/mkfs.out")"
  grep -qi 'too many clusters' "$work/mkfs.out" && fail "mkfs.fat refuses the planned size: $(cat "$work/mkfs.out")"
  note "mkfs.fat takes the planned $((sectors / 2048)) MiB: $(grep -o 'provides [0-9]* clusters' "$work/mkfs.out")"
  rm -f "$scratch"
  umount "$work/small"
else
  note "not root: the write-protected, busy and terabyte sticks are not tried"
fi

# The stick taken out between opening the writer and Start.
{
  open_start_dialog_steps
  printf '%s\n' "key AppFrm tab" "key AppFrm space" "wait UsbFrm" "wait-file $work/stick-gone 30" \
    "key UsbFrm space"
  close_all_steps
} >"$work/gone.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/gone.script" ARKEVEN_VIRTUAL_STICKS="$stick"
wait_for_log '^text UsbFrm 10011 ' 30 || fail "stick gone: the writer did not open"
stick_before=$(digest "$stick")
mv "$stick" "$work/away.img"
touch "$work/stick-gone"
finish_program 60
[ "$(last_writer_line)" = "$(text_of 32)" ] || fail "stick gone: the writer ended with '$(last_writer_line)'"
[ "$(digest "$work/away.img")" = "$stick_before" ] || fail "stick gone: the stick was written"
note "stick gone before Start: text 32, nothing written"

# ---- 2. No stick chosen: a fixed USB drive is listed but never selected; Start formats nothing.
# Before that, with no drive at all, the start button is disabled: Tab from the drive list
# reaches 1022, which closes the start dialog instead of opening the writer.
{
  open_start_dialog_steps
  printf '%s\n' "key AppFrm tab" "key AppFrm space" "wait-gone AppFrm" "close MainFrm"
} >"$work/nodrive.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/nodrive.script" ARKEVEN_VIRTUAL_STICKS=
finish_program 30
grep -q '^create UsbFrm' "$host_log" && fail "no drive: the start button opened the writer"

fixed="$work/fixed.img"
fresh_stick "$fixed" 64M
{ write_job_steps; close_all_steps; } >"$work/fixed.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/fixed.script" ARKEVEN_VIRTUAL_STICKS="$fixed:fixed"
finish_program 60
[ "$(last_writer_line)" = "$failed_text" ] || fail "no selection: the writer ended with '$(last_writer_line)'"
grep -q '^progress UsbFrm' "$host_log" && fail "no selection: a format was started"
grep -q '^destroy UsbFrm' "$host_log" || fail "no selection: Escape did not close the writer"
cmp -s -n $((64 << 20)) "$fixed" /dev/zero || fail "no selection: the fixed drive was written"
note "no drive: 1021 disabled; unselected fixed drive: text 27, nothing written, Escape closes"

# ---- 3. The stick pulled out (its image file removed) while root.lzm is being copied.
head -c 200M /dev/urandom >"$cd_copy/ISOLINUX/root.lzm"
fresh_stick "$stick" 300M
{ write_job_steps; close_all_steps; } >"$work/pulled.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/pulled.script" ARKEVEN_VIRTUAL_STICKS="$stick"
wait_for_log '^progress UsbFrm (8[3-9]|9[0-9]|1[0-4][0-9])$' 60 ||
  fail "stick pulled: the root.lzm copy never got past 82"
rm -f "$stick"
expect_failure_text "stick pulled" "$(text_of 32)"
finish_program 60
note "stick pulled during the copy: text 32, the program closed normally"

# ---- 4. An installer that fails: all five copies succeed, yet the job ends with text 27.
# With the same 200 MiB root.lzm: the stick has room for it, so in 3 the removal alone failed.
# The program in the CD copy, this time told where its CD is.
printf '#!/bin/sh\nexit 1\n' >"$cd_copy/syslinux/syslinux"
fresh_stick "$stick" 300M
{ write_job_steps; close_all_steps; } >"$work/installer.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/installer.script" \
  ARKEVEN_VIRTUAL_STICKS="$stick" ARKEVEN_CD_ROOT="$cd_copy"
finish_program 60
expect_failure_text "failing installer"
grep -qxF "text UsbFrm 10005 100% completed" "$host_log" || fail "failing installer: the copies did not all report"
stick_file_equals "$stick" root.lzm "$cd_copy/ISOLINUX/root.lzm" || fail "failing installer: root.lzm differs"
stick_names "$stick" | grep -qx 'ldlinux.sys' && fail "failing installer: yet ldlinux.sys is there"
note "failing installer: text 27"

# ---- 5. root.lzm spoilt on its way to the stick, as a failing medium would: the copy reports
# success and the file has the right size, but reading it back finds the difference. The CD's
# mcopy (the one the program runs) is the spoiler, handing on to the real one.
real_mcopy="$cd_root/syslinux/mcopy"
rm "$cd_copy/syslinux/mcopy"
cat >"$cd_copy/syslinux/mcopy" <<SCRIPT
#!/bin/sh
case "\$*" in
  *root.lzm*) tr 'A' 'B' | exec "$real_mcopy" "\$@" ;;
  *) exec "$real_mcopy" "\$@" ;;
esac
SCRIPT
chmod +x "$cd_copy/syslinux/mcopy"
cp -a "$cd_root/syslinux/syslinux" "$cd_copy/syslinux/syslinux"
fresh_stick "$stick" 300M
{ write_job_steps; close_all_steps; } >"$work/spoilt.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/spoilt.script" ARKEVEN_VIRTUAL_STICKS="$stick" \
  ARKEVEN_CD_ROOT="$cd_copy"
finish_program 60
ln -sfn mtools "$cd_copy/syslinux/mcopy"
expect_failure_text "spoilt copy"
grep -q 'read-back: root.lzm on the stick differs' "$program_out" || fail "spoilt copy: the console does not name the file"
stick_names "$stick" | grep -qx 'ldlinux.sys' && fail "spoilt copy: the installer ran after a failed read-back"
note "spoilt copy: found by the read-back, text 27, no boot loader"

# ---- 6. A user who may not write the stick (a root-owned image): Start asks for the rights
# through pkexec (a stand-in that keeps its rules). Dismissed: text 28, nothing written. Given:
# the helper, root for that user, finds the stick is not the user's own and writes nothing (32).
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  fresh_stick "$stick" 300M
  chmod 644 "$stick"
  chmod 755 "$work"
  standin_pkexec "$work/bin"
  { write_job_steps; close_all_steps; } >"$work/rights.script"
  as_nobody_without_rights() { # ANSWER
    echo "$1" >"$work/bin/pkexec.answer"
    : >"$host_log"
    chmod 666 "$host_log"
    runuser -u nobody -- env PATH="$work/bin:$PATH" ARKEVEN_HOST_LOG="$host_log" ARKEVEN_HOST=headless \
      ARKEVEN_HEADLESS_SCRIPT="$work/rights.script" ARKEVEN_VIRTUAL_STICKS="$stick" ARKEVEN_CD_ROOT="$cd_copy" \
      "$cd_copy/AUTORUN/arkeven" >"$program_out" 2>"$program_err" &
    program_pid=$!
    started_pids+=("$program_pid")
    finish_program 60
    [ "$(wc -l <"$work/bin/pkexec.calls")" -eq 1 ] || fail "no rights, $1: pkexec was asked $(wc -l <"$work/bin/pkexec.calls") times"
    : >"$work/bin/pkexec.calls"
    cmp -s -n $((300 << 20)) "$stick" /dev/zero || fail "no rights, $1: the stick was written"
  }
  as_nobody_without_rights dismiss
  [ "$(last_writer_line)" = "$(text_of 28)" ] || fail "no rights, dismissed: the writer ended with '$(last_writer_line)'"
  grep -q 'dismissed or refused' "$program_out" || fail "no rights, dismissed: the console does not say so"
  as_nobody_without_rights run
  [ "$(last_writer_line)" = "$(text_of 32)" ] || fail "no rights, given: the writer ended with '$(last_writer_line)'"
  grep -qF "virtual stick $stick left out" "$program_err" || fail "no rights, given: the helper did not name root's stick"
  note "no rights: dismissed, text 28; given, root's own stick refused by the helper (32); nothing written"
else
  note "not root: the unprivileged run is not tried"
fi
note "PASS"
