# Shared helpers of the system tests (tests/scripts/*.sh): the real program on the demo CD,
# stick image files, the host log. Sourced, never run; a test starts with
#   source "$(dirname "$0")/lib/system.sh"
#   system_test_init "$@"          # $1: the build folder
# and then has: $build, $source_dir, $cd_root, $program, $work (removed at exit).
# $cd_root is the CD image (scripts/build-cd-image) mounted read-only, as a user has the CD; a test
# that must change the CD (a missing or damaged file) changes a copy of it.

set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/lib/common.sh"
test_name=$script_name
export MTOOLS_SKIP_CHECK=1
export LANG=C.UTF-8 LC_ALL= LC_MESSAGES=
# The partition of a written stick starts at 1 MiB.
readonly partition_offset=1048576

fail() {
  echo "$test_name: FAIL: $*" >&2
  if [ -n "${host_log:-}" ] && [ -f "$host_log" ]; then
    echo "--- last lines of the host log ($host_log):" >&2
    tail -n 15 "$host_log" >&2
  fi
  if [ -n "${program_err:-}" ] && [ -s "$program_err" ]; then
    echo "--- the program's standard error:" >&2
    tail -n 15 "$program_err" >&2
  fi
  exit 1
}

note() {
  say "$@"
}

started_pids=()
cleanup_system_test() {
  local pid
  for pid in "${started_pids[@]}"; do
    if kill "$pid" 2>/dev/null; then
      wait "$pid" 2>/dev/null || true
    fi
  done
  unmount_cd_image
  [ -n "${work:-}" ] && rm -rf "$work"
  return 0
}

# mount_cd_image: the build's CD image, renewed first when the CD tree is newer, mounted
# read-only on $work/medium; $cd_root names it. The kernel's iso9660 serves where it has one,
# fuseiso (FUSE) where it has none; without the rights to mount, the tree build/cd stands in.
cd_image_mount=""
mount_cd_image() {
  local image="$build/VarnMID-recovery.iso" windows_tree="$source_dir/build-win/cd/AUTORUN"
  if [ "$(id -u)" -ne 0 ]; then
    note "not root: the program runs from $build/cd, not from the mounted CD image"
    cd_root="$build/cd"
    return
  fi
  if [ ! -f "$image" ] || [ -n "$(find "$build/cd" "$windows_tree" -newer "$image" 2>/dev/null | head -n 1)" ]; then
    ARKEVEN_BUILD_DIR="$build" "$source_dir/scripts/build-cd-image" --image-only >"$work/cd-image.log" 2>&1 ||
      { cat "$work/cd-image.log" >&2; fail "the CD image could not be written"; }
  fi
  cd_root="$work/medium"
  mkdir -p "$cd_root"
  if mount -o loop,ro -t iso9660 "$image" "$cd_root" 2>/dev/null; then
    :
  elif command -v fuseiso >/dev/null && fuseiso -p "$image" "$cd_root" -o ro,allow_other 2>"$work/fuseiso.log"; then
    :
  else
    fail "can't mount the CD image $image (no iso9660 in the kernel, no fuseiso: run scripts/setup)"
  fi
  cd_image_mount="$cd_root"
}

unmount_cd_image() {
  [ -n "$cd_image_mount" ] || return 0
  umount "$cd_image_mount" 2>/dev/null || umount -l "$cd_image_mount" 2>/dev/null || true
  cd_image_mount=""
}

system_test_init() {
  build="$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)"
  source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
  [ -x "$build/cd/AUTORUN/arkeven" ] || fail "$build/cd/AUTORUN/arkeven is not built"
  work="$(mktemp -d)"
  trap cleanup_system_test EXIT
  mount_cd_image
  program="$cd_root/AUTORUN/arkeven"
  host_log="$work/host.log"
  program_out="$work/program.out"
  program_err="$work/program.err"
}

require_tools() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing; run scripts/setup"
  done
}

# text_of ID: a text of the English text file as a static shows it ("%%" is one percent sign).
text_of() {
  local text
  text=$(sed -n "s/^$1=//p" "$cd_root/AUTORUN/Localization/en.txt" | head -n 1)
  [ -n "$text" ] || fail "text $1 is missing from the English texts"
  printf '%s\n' "${text//%%/%}"
}

# start_program [VAR=value...] [-- ARG...]: the program in the background, with a fresh host
# log; its pid in $program_pid. Standard output and error go to $program_out and $program_err.
start_program() {
  local variables=()
  while [ $# -gt 0 ] && [ "$1" != -- ]; do
    variables+=("$1")
    shift
  done
  [ $# -gt 0 ] && shift
  : >"$host_log"
  env ARKEVEN_HOST_LOG="$host_log" "${variables[@]}" "$program" "$@" >"$program_out" 2>"$program_err" &
  program_pid=$!
  started_pids+=("$program_pid")
}

# standin_pkexec DIR: DIR/pkexec, a stand-in for pkexec built from lib/standin_pkexec.c (setuid
# root, so only root makes it): a user's request runs the program as root with a cleared
# environment and PKEXEC_UID, or is dismissed (126) while DIR/pkexec.answer says "dismiss". Each
# request is a line of DIR/pkexec.calls.
standin_pkexec() {
  local dir=$1
  mkdir -p "$dir"
  cc -O2 -o "$dir/pkexec" -DCALLS="\"$dir/pkexec.calls\"" -DANSWER="\"$dir/pkexec.answer\"" \
    "$source_dir/tests/scripts/lib/standin_pkexec.c" || fail "the stand-in pkexec does not build"
  chown root:root "$dir/pkexec"
  chmod 4755 "$dir/pkexec"
  : >"$dir/pkexec.calls"
  echo run >"$dir/pkexec.answer"
  chmod 755 "$dir"
}

# wait_for_exit PID SECONDS: true when the process ended in time; its status in $exit_status.
wait_for_exit() {
  local pid=$1 deadline=$((SECONDS + $2))
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$SECONDS" -ge "$deadline" ]; then
      return 1
    fi
    sleep 0.05
  done
  exit_status=0
  wait "$pid" 2>/dev/null || exit_status=$?
  return 0
}

# finish_program SECONDS: the program must end by itself in time, with status 0.
finish_program() {
  wait_for_exit "$program_pid" "$1" || fail "the program did not end within $1 s"
  [ "$exit_status" -eq 0 ] || fail "the program ended with status $exit_status"
}

# wait_for_line FILE EXTENDED_REGEX SECONDS: true once a line of the file matches.
wait_for_line() {
  local file=$1 pattern=$2 deadline=$((SECONDS + $3))
  until grep -qE -- "$pattern" "$file" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# wait_for_log EXTENDED_REGEX SECONDS: true once a line of the host log matches; gives up
# early when the program has ended without it.
wait_for_log() {
  local pattern=$1 deadline=$((SECONDS + $2))
  until grep -qE -- "$pattern" "$host_log" 2>/dev/null; do
    kill -0 "$program_pid" 2>/dev/null || { grep -qE -- "$pattern" "$host_log"; return; }
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# The writer's trace: its bar positions and percentage lines, in order.
writer_trace() {
  grep -E '^(progress UsbFrm |text UsbFrm 10005 )' "$host_log" || true
}

# fresh_stick FILE SIZE: an empty sparse image, as a new stick would be.
fresh_stick() {
  rm -f "$1"
  truncate -s "$2" "$1"
}

# A headless run of the main job: launcher 1011 -> start dialog 1021 -> writer 1015.
# A window opens with its first control below the header focused (reading order: top to
# bottom, then left to right), and Tab follows that order: the launcher opens on 1011, the
# start dialog on its drive list (Tab: 1021), the writer on 1015 (1014 is disabled).
write_job_steps() {
  open_start_dialog_steps
  cat <<'EOF'
key AppFrm tab
key AppFrm space
wait UsbFrm
key UsbFrm space
EOF
}

# The first part of it: the launcher's 1011, until the start dialog is shown.
open_start_dialog_steps() {
  cat <<'EOF'
wait MainFrm 20
key MainFrm space
wait AppFrm
EOF
}

# Closing everything once the writer is no longer busy (Escape is refused while it is). The
# start dialog is closed the same way, so that a run where it has already gone still ends.
close_all_steps() {
  cat <<'EOF'
press-until-gone UsbFrm escape 200 120
press-until-gone AppFrm escape 200 10
wait MainFrm
close MainFrm
EOF
}

# user_stick FILE SIZE: a stick as a user brings it, a FAT volume with a file of theirs.
user_stick() {
  fresh_stick "$1" "$2"
  mkfs.fat -F 32 -n USERDATA "$1" >/dev/null 2>&1
  head -c 1M /dev/urandom >"$work/user-file"
  mcopy -i "$1" "$work/user-file" ::/holiday.jpg
}

# digest FILE: the file's SHA-256, to show that a stick was left byte for byte as it was.
digest() {
  sha256sum "$1" | cut -d' ' -f1
}

# ---- Stick image checks (mtools on the image, no mounting).

# stick_names IMAGE: the names in the stick's root folder, one a line, long names as stored.
stick_names() {
  mdir -a -b -i "$1@@$partition_offset" ::/ | sed 's|^::/||'
}

# stick_file_equals IMAGE NAME FILE: the stick's file has exactly the bytes of FILE.
stick_file_equals() {
  mtype -i "$1@@$partition_offset" "::/$2" | cmp -s - "$3"
}

# stick_holds_live_system IMAGE CD_ROOT: the five live-system files on the stick are exactly the
# CD's; fails the test naming the first that is not.
stick_holds_live_system() {
  local name source
  while read -r name source; do
    stick_file_equals "$1" "$name" "$2/$source" || fail "$name on $(basename "$1") differs from $source"
  done <<'EOF'
.Derozazlive _DEROZAZLIVE
initrd.img ISOLINUX/initrd.img
root.lzm ISOLINUX/root.lzm
syslinux.cfg ISOLINUX/syslinux.cfg
vmlinuz ISOLINUX/vmlinuz
EOF
}

# read_u8 FILE OFFSET / read_u16 FILE OFFSET: little-endian numbers from a file.
read_u8() {
  od -An -tu1 -j "$2" -N1 "$1" | tr -d ' '
}
read_u16() {
  od -An -tu2 --endian=little -j "$2" -N2 "$1" | tr -d ' '
}
read_text() {
  dd if="$1" bs=1 skip="$2" count="$3" status=none
}
