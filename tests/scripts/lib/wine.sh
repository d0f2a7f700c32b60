# Shared set-up of the Windows tests (tests/scripts/windows_*.sh): the Windows build under wine,
# as Windows would judge it. Wine runs as an unprivileged user (the CI runs as root: a user of
# its own, arkeven-wine, with its own HOME and WINEPREFIX), the CD tree is a CD-ROM drive D:
# whose files are read-only, and the program runs from there. Drive E: is a stick: its volume's
# root folder, and as its device (what "\\.\E:" opens) a whole-disk image with one FAT32
# partition, which the program takes for a USB stick (ARKEVEN_TEST_USB_DRIVES). Stand-ins only
# for what wine lacks: fmifs.dll, the device maker's syslinux.exe and the USB sticks
# (tests/platform/win32/); the CD copy holds the program's test build, which has the sticks'.
# Sourced, never run; a test starts with
#   source "$(dirname "$0")/lib/wine.sh"
#   wine_test_init "$@"
# which builds build-win (incrementally), runs the test again on an Xvfb display, and gives:
# $build, $source_dir, $work (removed at exit), as_user, fail, windows_path, find_window,
# wait_for, $program (Arkeven.exe on D:) and $twin (Arkeven.com). Skips the test (exit 0) when
# the cross compiler, wine, Xvfb or xdotool is missing.

source "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/lib/common.sh"
source_dir="$project_root"
build="${ARKEVEN_WINDOWS_BUILD_DIR:-$source_dir/build-win}"

wine_test_init() {
  if [ "${1:-}" != "--on-display" ]; then
    for tool in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-windres wine wineboot wineserver Xvfb xdotool sfdisk script; do
      if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP $script_name: $tool is missing (scripts/setup installs it)"
        exit 0
      fi
    done
    started=$SECONDS
    "$source_dir/scripts/build-windows" --target arkeven arkeven_console arkeven_standins arkeven_console_standins \
      test_windows windows_cd_program >/dev/null
    echo "windows: build $((SECONDS - started)) s"
    exec "$source_dir/scripts/with-xvfb" bash "$0" --on-display
  fi
  wine_prefix_and_drives
  [ -f "$work/cd/AUTORUN/Arkeven.exe" ] || fail "Arkeven.exe not built"
}

wine_prefix_and_drives() {
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
    echo "$script_name: $*" >&2
    for log in "$work"/*.log; do
      [ -s "$log" ] && { echo "--- $(basename "$log")" >&2; cat "$log" >&2; }
    done
    exit 1
  }

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
  cp "$build/tests/standins/Arkeven.exe" "$build/tests/standins/Arkeven.com" "$work/cd/AUTORUN/"
  chmod -R a-w "$work/cd"
  ln -s "$work/cd" "$WINEPREFIX/dosdevices/d:"

  # The stick of the whole job (windows_stick_job.sh): drive E: is its volume's root folder,
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
}

# A folder of the work area as wine names it (drive Z: is the root).
windows_path() { echo "Z:${1//\//\\}"; }

program='D:\AUTORUN\Arkeven.exe'
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

twin='D:\AUTORUN\Arkeven.com'
