#!/usr/bin/env bash
# The drive list with two USB drives, a 1 GiB removable stick (E:) and a 2 GiB fixed one (F:):
# the items' texts and sizes (--list-drives), and the live start dialog on a real X server,
# whose list holds E first and selected, then F: the writer starts on whichever item is chosen.
source "$(dirname "$0")/lib/system.sh"
source "$(dirname "$0")/lib/x11.sh"
x11_test_init "$@"

removable="$work/removable.img"
fixed="$work/fixed.img"
sticks="$removable,$fixed:fixed"

# Sizes count whole cylinders of 255 heads and 63 sectors of 512 bytes, shown in MiB, cut.
cylinder=$((255 * 63 * 512))
drive_line() { # LETTER FILE TYPE FILE_SIZE
  local bytes=$(( $4 / cylinder * cylinder ))
  echo "$1:  $2  $3  usb  $bytes bytes  \"$1 ($((bytes / 1048576)) MBytes)\""
}
fresh_stick "$removable" 1G
fresh_stick "$fixed" 2G
ARKEVEN_VIRTUAL_STICKS="$sticks" "$program" --list-drives >"$work/drives" || fail "--list-drives failed"
for expected in "$(drive_line E "$removable" removable $((1 << 30)))" "$(drive_line F "$fixed" fixed $((2 << 30)))"; do
  grep -qxF "$expected" "$work/drives" || { cat "$work/drives" >&2; fail "no line '$expected'"; }
done
e_item=$(drive_line E "$removable" removable $((1 << 30)) | cut -d'"' -f2)
f_item=$(drive_line F "$fixed" fixed $((2 << 30)) | cut -d'"' -f2)
note "--list-drives: $e_item and $f_item"

allocated() {
  stat -c %b "$1"
}

# start_on DOWNS: fresh sticks; the launcher's recovery button (focused as it opens), then in
# the start dialog Down DOWNS times on the drive list (focused as it opens), Tab on to 1021,
# Space; the writer's Start (focused as it opens). Once the format has begun, the program is stopped: which image it
# writes shows which item was selected.
start_on() {
  fresh_stick "$removable" 1G
  fresh_stick "$fixed" 2G
  start_launcher ARKEVEN_VIRTUAL_STICKS="$sticks"
  type_keys "$main_window" space
  local dialog writer keys=()
  dialog=$(window_of AppFrm)
  for _ in $(seq "$1"); do keys+=(Down); done
  type_keys "$dialog" "${keys[@]}" Tab space
  writer=$(window_of UsbFrm)
  type_keys "$writer" space
  wait_for_log '^progress UsbFrm [1-9]' 20 || fail "$1 x Down: the format did not begin"
  stop_program
}

start_on 0
[ "$(allocated "$removable")" -gt 0 ] || fail "the first item, selected at first, is not the removable stick E:"
[ "$(allocated "$fixed")" -eq 0 ] || fail "the first item wrote the fixed drive"
start_on 1
[ "$(allocated "$fixed")" -gt 0 ] || fail "the second item is not the fixed drive F:"
[ "$(allocated "$removable")" -eq 0 ] || fail "the second item wrote the removable stick"
note "the live list: E first and selected, F second"
note "PASS"
