#!/usr/bin/env bash
# The CD on the oldest kind of system it is made for: a Debian 11 (glibc 2.31) with nothing
# installed but the X library — no mtools, no dosfstools — made by scripts/setup. The CD image is
# mounted read-only inside it, and a user (not root) runs the program from it: the drive list,
# the whole job on a virtual stick with the CD's own tools (and without glibc's character-set
# modules), the launcher's window on the host's X server. Then autorun.inf and autorun.sh: the
# programs they name are on the image, and autorun.sh finds the program from any folder.
source "$(dirname "$0")/lib/system.sh"
source "$(dirname "$0")/lib/x11.sh"
x11_test_init "$@"
require_tools chroot fsck.fat mdir mtype readelf objdump

if [ "$(id -u)" -ne 0 ]; then
  note "not root: no Debian 11 system can be entered; not tried"
  exit 0
fi
debian11="${ARKEVEN_CACHE:-/var/cache/arkeven}/bullseye"
[ -x "$debian11/usr/bin/env" ] || fail "no Debian 11 system in $debian11; run scripts/setup"
grep -q '^11' "$debian11/etc/debian_version" || fail "$debian11 is not Debian 11"
for tool in mcopy mtools mkfs.fat; do
  [ ! -e "$debian11/usr/bin/$tool" ] && [ ! -e "$debian11/sbin/$tool" ] && [ ! -e "$debian11/usr/sbin/$tool" ] ||
    fail "$debian11 has $tool: the test would not show that the CD brings its own"
done

# The binary itself: of the system's libraries at most glibc's own, and no glibc symbol newer
# than 2.31 (a program linked against Debian 12's glibc needs 2.34 at least).
needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | grep -vE '^(libc|libm|ld-linux-x86-64)\.so' || true)
[ -z "$needed" ] || fail "the CD's arkeven needs shared libraries beyond glibc: $needed"
newest=$( (echo GLIBC_2.31; objdump -T "$program" 2>/dev/null | grep -o 'GLIBC_2\.[0-9.]*' || true) | sort -uV | tail -n 1)
[ "$newest" = GLIBC_2.31 ] || fail "the CD's arkeven needs $newest, newer than Debian 11's glibc 2.31"

# The system's own root stays as it is: the CD, a folder for the user (/tmp), /proc and the X
# socket are mounted into it for this test alone (its own mount namespace, lib/isolated).
mounted=()
bind_into() {
  mount --bind "$1" "$debian11/$2" || fail "can't mount $1 on $debian11/$2"
  mounted=("$debian11/$2" "${mounted[@]}")
}
unmount_debian11() {
  local point
  for point in "${mounted[@]}"; do umount "$point" 2>/dev/null || umount -l "$point" 2>/dev/null || true; done
  cleanup_system_test
}
trap unmount_debian11 EXIT
home="$work/home"
mkdir -p "$home/.X11-unix"
chmod 1777 "$home"
bind_into "$cd_root" mnt
bind_into "$home" tmp
bind_into /tmp/.X11-unix tmp/.X11-unix
# Without glibc's character-set modules, as distributions that package them apart have it: mtools
# must not need one.
mkdir -p "$work/no-modules"
bind_into "$work/no-modules" usr/lib/x86_64-linux-gnu/gconv
mount -t proc proc "$debian11/proc" || fail "can't mount /proc in $debian11"
mounted=("$debian11/proc" "${mounted[@]}")

user=65534:65534
# in_debian11 COMMAND...: as the user, in a clean environment, from /tmp.
in_debian11() {
  chroot --userspec="$user" "$debian11" env -i PATH=/usr/bin:/bin HOME=/tmp LANG=C.UTF-8 \
    ARKEVEN_VIRTUAL_STICKS=/tmp/stick.img "$@"
}
stick="$home/stick.img"
fresh_stick "$stick" 300M
chown "$user" "$stick"

# ---- The drive list and the whole job.
in_debian11 /mnt/AUTORUN/arkeven --list-drives >"$work/drives" 2>"$program_err" || fail "--list-drives failed"
grep -qF '"E (298 MBytes)"' "$work/drives" || fail "--list-drives does not list the stick: $(cat "$work/drives")"
started=$SECONDS
status=0
in_debian11 /mnt/AUTORUN/arkeven --make-stick E: --yes </dev/null >"$program_out" 2>"$program_err" || status=$?
[ "$status" -eq 0 ] || fail "--make-stick ended with status $status: $(tail -n 3 "$program_out")"
grep -q 'ready$' "$program_out" || fail "--make-stick did not end ready: $(tail -n 3 "$program_out")"
note "the job on Debian 11 took $((SECONDS - started)) s"
partition="$work/partition.img"
dd if="$stick" of="$partition" bs=1M skip=1 conv=sparse status=none
fsck.fat -n "$partition" >"$work/fsck.log" 2>&1 || { cat "$work/fsck.log" >&2; fail "fsck.fat found errors"; }
stick_names "$stick" | grep -qx 'ldlinux.sys' || fail "ldlinux.sys is missing: the installer did not run"
stick_holds_live_system "$stick" "$cd_root"
note "Debian 11 without mtools or dosfstools: the stick is written, clean and complete"

# ---- The launcher's window, drawn through the host's X server.
host_log="$home/host.log"
in_debian11 DISPLAY="$DISPLAY" ARKEVEN_HOST=x11 ARKEVEN_HOST_LOG=/tmp/host.log /mnt/AUTORUN/arkeven \
  >"$program_out" 2>"$program_err" &
program_pid=$!
started_pids+=("$program_pid")
main_window=$(window_of MainFrm 20)
[ "$(xdotool getwindowname "$main_window")" = "Varn MID" ] || fail "the launcher's caption is not 'Varn MID'"
wait_for_log '^caption MainFrm Varn MID' 10 || fail "the launcher logs no window"
stop_program
note "the launcher opens on Debian 11"

# ---- autorun.inf and autorun.sh.
inf="$cd_root/autorun.inf"
[ -f "$cd_root/AUTORUN/Arkeven.exe" ] || fail "the CD image has no Windows program: run scripts/build-cd-image"
[ -f "$inf" ] || fail "no autorun.inf at the CD's root"
for key in open icon; do
  value=$(tr -d '\r' <"$inf" | sed -n "s/^$key=//p")
  file=${value%%,*}
  [ -n "$file" ] && [ -f "$cd_root/${file//\\//}" ] || fail "autorun.inf's $key= names '$value', not a file on the CD"
done
tr -d '\r' <"$inf" | grep -q '^label=.' || fail "autorun.inf has no label"
[ -x "$cd_root/autorun.sh" ] || fail "no executable autorun.sh at the CD's root"
in_debian11 sh -c 'cd /tmp && ../mnt/autorun.sh --list-drives' >"$work/autorun.drives" 2>&1 ||
  fail "autorun.sh started from /tmp failed: $(cat "$work/autorun.drives")"
grep -q '/tmp/stick.img' "$work/autorun.drives" || fail "autorun.sh did not start the CD's program: $(cat "$work/autorun.drives")"
note "autorun.inf names the CD's Arkeven.exe; autorun.sh started from /tmp runs the CD's program"
note "PASS"
