#!/usr/bin/env bash
# The main job as a user does it, on the real program: headless host, the demo CD, a 300 MiB
# virtual stick; launcher "Make recovery stick" -> start dialog 1021 -> writer Start. Then the
# stick is examined byte by byte and booted in the emulator.
source "$(dirname "$0")/lib/system.sh"
system_test_init "$@"
require_tools mdir mtype fsck.fat od cmp

stick="$work/stick.img"
fresh_stick "$stick" 300M
{ write_job_steps; close_all_steps; } >"$work/job.script"

started=$SECONDS
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/job.script" ARKEVEN_VIRTUAL_STICKS="$stick"
finish_program 150
note "the job took $((SECONDS - started)) s"

last_line=$(grep '^text UsbFrm 10005 ' "$host_log" | tail -n 1 | cut -d' ' -f4-)
[ "$last_line" = "$(text_of 25)" ] || fail "the writer ended with '$last_line', not text 25"

# The master boot record: syslinux's boot code, one active FAT32 (LBA) partition at 1 MiB.
cmp -s -n 440 "$stick" "$cd_root/syslinux/mbr.bin" || fail "the MBR boot code is not the CD's mbr.bin"
[ "$(read_u8 "$stick" 446)" = 128 ] || fail "the partition is not marked active (0x80)"
[ "$(read_u8 "$stick" 450)" = 12 ] || fail "the partition type is $(read_u8 "$stick" 450), not 0x0C"
[ "$(od -An -tu4 --endian=little -j 454 -N4 "$stick" | tr -d ' ')" = 2048 ] ||
  fail "the partition does not start at sector 2048"
[ "$(read_u16 "$stick" 510)" = 43605 ] || fail "the MBR has no 55AA signature"

# The volume: clean, FAT32, "VarnMID", 4096-byte clusters.
partition="$work/partition.img"
dd if="$stick" of="$partition" bs=1M skip=1 conv=sparse status=none
fsck.fat -n "$partition" >"$work/fsck.log" 2>&1 || { cat "$work/fsck.log" >&2; fail "fsck.fat found errors"; }
[ "$(read_text "$partition" 82 8)" = "FAT32   " ] || fail "the volume is not FAT32"
[ "$(read_text "$partition" 71 11)" = "VarnMID    " ] ||
  fail "the volume label is '$(read_text "$partition" 71 11)', not VarnMID"
cluster=$(( $(read_u16 "$partition" 11) * $(read_u8 "$partition" 13) ))
[ "$cluster" = 4096 ] || fail "the cluster size is $cluster bytes, not 4096"

# The root folder: exactly the five live-system files (beside the boot loader's own), each
# byte for byte the CD's.
stick_names "$stick" >"$work/names" || fail "mdir cannot read the stick"
grep -qx 'ldlinux.sys' "$work/names" || fail "ldlinux.sys is missing: the installer did not run"
live_names=$(grep -vxE 'ldlinux\.(sys|c32)' "$work/names" | LC_ALL=C sort | tr '\n' ' ')
[ "$live_names" = ".Derozazlive initrd.img root.lzm syslinux.cfg vmlinuz " ] ||
  fail "the stick's root holds '$live_names'"
stick_holds_live_system "$stick" "$cd_root"
note "the stick is as it should be; booting it"

BOOT_CHECK_TIMEOUT=90 "$source_dir/scripts/boot-check" "$stick" || fail "the written stick does not boot"
note "PASS"
