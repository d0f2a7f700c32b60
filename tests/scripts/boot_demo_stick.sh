#!/usr/bin/env bash
# End to end: a stick image is fully formatted, filled from the demo CD and made bootable through
# the platform calls (tests/tools/write_stick_image), then booted in QEMU as a USB disk. Then
# the same for a sparse 40 GB stick whose volume comes from the platform's own FAT32 writer (quick
# format), the way the Windows build formats sticks above 32 GB.
set -euo pipefail

build="$(cd "${1:?usage: boot_demo_stick.sh BUILD_DIR}" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
writer="$build/tests/write_stick_image"
[ -x "$writer" ] || { echo "boot_demo_stick: $writer not built" >&2; exit 1; }

"$source_dir/scripts/build-demo-cd" "$build/cd" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# write_and_boot SIZE [--quick | --own-fat32]: writes a stick image of SIZE and boots it.
write_and_boot() {
  local size=$1 image="$work/stick.img" started=$SECONDS
  shift
  rm -f "$image"
  truncate -s "$size" "$image"
  "$writer" "$image" "$build/cd" "$@" >"$work/writer.log" 2>&1 || {
      echo "boot_demo_stick: writing the $size stick failed" >&2
      cat "$work/writer.log" >&2
      exit 1
    }
  echo "boot_demo_stick: $size stick written in $((SECONDS - started)) s"
  BOOT_CHECK_TIMEOUT=90 "$source_dir/scripts/boot-check" "$image"
}

write_and_boot 300M
write_and_boot 40G --own-fat32
