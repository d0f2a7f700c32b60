#!/usr/bin/env bash
# The writer writes the stick the user chose and no other, on the real program (headless):
# 1. F is chosen, the writer opens, another stick arrives and the list under the writer is
#    rebuilt: F is written, E and the newcomer are untouched;
# 2. the stick is pulled during the copies and another one, holding a user's files, takes its
#    place under the same name: the newcomer is untouched and the job says the stick changed;
# 3. a format that fails ends the job failed, with nothing copied onto what the stick held; a
#    stick the format cannot have (held exclusively by another program) ends it with the in-use
#    text before anything is written.
source "$(dirname "$0")/lib/system.sh"
system_test_init "$@"
require_tools mdir mtype mkfs.fat mcopy sha256sum

ready_text=$(text_of 25)
failed_text=$(text_of 27)

expect_final_text() {
  wait_for_log "^text UsbFrm 10005 $2\$" 90 || fail "$1: the writer did not end with '$2'"
}

# ---- 1. The list is rebuilt under the writer: the chosen stick stays the target.
# The start dialog opens on its drive list: Down chooses F there, and Tab goes on to 1021.
e="$work/e.img" f="$work/f.img" g="$work/g.img"
fresh_stick "$e" 300M
fresh_stick "$f" 300M
e_before=$(digest "$e")
open_start_dialog_steps >"$work/rebuild.script"
cat >>"$work/rebuild.script" <<EOF
key AppFrm down
key AppFrm tab
key AppFrm space
wait UsbFrm
wait-file $work/newcomer-listed 30
key UsbFrm space
EOF
close_all_steps >>"$work/rebuild.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/rebuild.script" ARKEVEN_VIRTUAL_STICKS="$e,$f,$g"
wait_for_log '^create UsbFrm' 30 || fail "rebuild: the writer did not open"
grep -q '^text UsbFrm 10011 F (' "$host_log" || fail "rebuild: the writer does not show that it erases F"
user_stick "$g" 64M
g_before=$(digest "$g")
wait_for_log '^drives AppFrm .*\|G \(' 30 || fail "rebuild: the newcomer G was never listed"
grep '^drives AppFrm .*|G (' "$host_log" | tail -n 1 | grep -q ' selected 1$' ||
  fail "rebuild: the list did not keep F selected: $(grep '^drives AppFrm' "$host_log" | tail -n 1)"
touch "$work/newcomer-listed"
expect_final_text "rebuild" "$ready_text"
finish_program 60
stick_names "$f" | grep -qx 'root.lzm' || fail "rebuild: F was not written"
[ "$(digest "$e")" = "$e_before" ] || fail "rebuild: E was written"
[ "$(digest "$g")" = "$g_before" ] || fail "rebuild: the newcomer G was written"
note "rebuilt list: F written, E and the newcomer untouched"

# ---- 2. Pulled during the copies, and a user's stick put in its place under the same name.
cd_copy="$work/cd"
cp -a "$cd_root" "$cd_copy"
head -c 200M /dev/urandom >"$cd_copy/ISOLINUX/root.lzm"
program="$cd_copy/AUTORUN/arkeven"
stick="$work/stick.img"
fresh_stick "$stick" 300M
user_stick "$work/newcomer.img" 300M
newcomer_before=$(digest "$work/newcomer.img")
{ write_job_steps; close_all_steps; } >"$work/swap.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/swap.script" ARKEVEN_VIRTUAL_STICKS="$stick"
wait_for_log '^progress UsbFrm (8[3-9]|9[0-9]|1[0-4][0-9])$' 60 || fail "swap: the root.lzm copy never got past 82"
mv "$work/newcomer.img" "$stick"
expect_final_text "swap" "$(text_of 32)"
finish_program 60
[ "$(digest "$stick")" = "$newcomer_before" ] || fail "swap: the newcomer's bytes changed"
grep -q 'is no longer the chosen stick' "$program_out" || fail "swap: the console does not say why the job stopped"
note "stick swapped mid-job: text 32, the newcomer untouched"

# ---- 3. A format that cannot run ends the job: nothing is copied onto the old volume.
# The CD's file-system tool (the one the program runs first) fails: the format reports failure
# after its pass of zeros.
mv "$cd_copy/syslinux/mkfs.fat" "$work/mkfs.fat"
printf '#!/bin/sh\necho "mkfs.fat: cannot make the volume" >&2\nexit 1\n' >"$cd_copy/syslinux/mkfs.fat"
chmod +x "$cd_copy/syslinux/mkfs.fat"
small="$work/small.img"
user_stick "$small" 300M
{ write_job_steps; close_all_steps; } >"$work/small.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/small.script" ARKEVEN_VIRTUAL_STICKS="$small"
expect_final_text "failed format" "$failed_text"
finish_program 60
mv "$work/mkfs.fat" "$cd_copy/syslinux/mkfs.fat"
grep -q 'FormatEx was unable to complete successfully' "$program_out" || fail "failed format: no console line"
grep -qxF 'progress UsbFrm 80' "$host_log" && fail "failed format: the copies ran all the same"
note "failed format: text 27, no copies"

# Held exclusively by another program (a loop device opened with O_EXCL): refused before any
# write, the user's volume unchanged.
user_stick "$work/user-loop.img" 300M
if loop=$(losetup --find --show "$work/user-loop.img" 2>/dev/null); then
  trap 'losetup -d "$loop" 2>/dev/null; cleanup_system_test' EXIT
  loop_before=$(digest "$loop")
  # The holder says when it holds; a fresh loop device can be busy for a moment (the kernel or
  # another program of the machine probing it), so it tries for a few seconds.
  python3 -c '
import os, sys, time
for _ in range(50):
    try:
        os.open(sys.argv[1], os.O_RDWR | os.O_EXCL)
        break
    except OSError:
        time.sleep(0.1)
else:
    sys.exit("could not hold " + sys.argv[1])
open(sys.argv[2], "w").write("held\n")
time.sleep(120)' "$loop" "$work/held" &
  started_pids+=("$!")
  wait_for_line "$work/held" '^held$' 10 || fail "busy stick: the loop device could not be held for the test"
  { write_job_steps; close_all_steps; } >"$work/busy.script"
  start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/busy.script" ARKEVEN_VIRTUAL_STICKS="$loop"
  expect_final_text "busy stick" "$(text_of 34)"
  finish_program 60
  [ "$(digest "$loop")" = "$loop_before" ] || fail "busy stick: the held disk was written"
  grep -q 'Device or resource busy' "$program_out" || fail "busy stick: the console does not say the disk is busy"
  note "stick held by another program: text 34, nothing written"
else
  note "no loop device here: the exclusively held stick is not tried"
fi
note "PASS"
