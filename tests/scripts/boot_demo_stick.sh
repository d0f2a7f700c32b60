#!/usr/bin/env bash
# End to end: a stick image is fully formatted, filled from the demo CD and made bootable through
# the platform calls (test_platform's StickImageWriter), then booted in QEMU as a USB disk.
set -euo pipefail

build="$(cd "${1:?usage: boot_demo_stick.sh BUILD_DIR}" && pwd)"
source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
writer="$build/tests/test_platform"
[ -x "$writer" ] || { echo "boot_demo_stick: $writer not built" >&2; exit 1; }

"$source_dir/scripts/build-demo-cd" "$build/cd" >/dev/null

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
image="$work/stick.img"
truncate -s 300M "$image"

ARKEVEN_STICK_IMAGE="$image" ARKEVEN_STICK_CD="$build/cd" \
  "$writer" --gtest_filter='StickImageWriter.*' --gtest_brief=1 >"$work/writer.log" 2>&1 || {
    echo "boot_demo_stick: writing the stick failed" >&2
    cat "$work/writer.log" >&2
    exit 1
  }
grep -q "SKIPPED" "$work/writer.log" && { echo "boot_demo_stick: the writer skipped" >&2; exit 1; }

BOOT_CHECK_TIMEOUT=90 "$source_dir/scripts/boot-check" "$image"
