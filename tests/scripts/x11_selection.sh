#!/usr/bin/env bash
# The hidden model and OS selection on a real X server, with the keyboard: Ctrl+Alt+Q, an entry
# in each dialog, and the launcher is back with the chosen model; the choice reaches the start
# dialog's entry count; Escape in either dialog ends the program.
source "$(dirname "$0")/lib/system.sh"
source "$(dirname "$0")/lib/x11.sh"
x11_test_init "$@"

# line_of PATTERN: the number of the first host-log line matching, or 0.
line_of() {
  local number
  number=$(grep -nxE -- "$1" "$host_log" | head -n 1 | cut -d: -f1)
  echo "${number:-0}"
}

# select_entries MODEL OS: Ctrl+Alt+Q, then in each dialog Tab to the entry (the dialog opens on
# its first entry, so the Nth is N-1 Tabs away) and Space. The launcher must come back showing "Model: <value>".
select_entries() {
  local tabs
  type_keys "$main_window" ctrl+alt+q
  mapfile -t tabs < <(yes Tab | head -n $(($1 - 1)))
  type_keys "$(window_of ModelFrm)" "${tabs[@]}" space
  mapfile -t tabs < <(yes Tab | head -n $(($2 - 1)))
  type_keys "$(window_of OSFrm)" "${tabs[@]}" space
  wait_for_log "^text MainFrm 10001 " 3 || fail "no model line on the launcher after the selection"
  wait_for_log '^destroy OSFrm$' 2 || fail "the OS dialog did not close"
}

# index.ini: Model1 "Varn MID M10" = M10 (token A), Model2 = M12 (B); OS1 "Linux" = Linux (L).
start_launcher
select_entries 1 1
model_line=$(grep '^text MainFrm 10001 ' "$host_log" | tail -n 1 | cut -d' ' -f4-)
expected=$(text_of 10)
[ "$model_line" = "${expected//%s/M10}" ] || fail "the model line is '$model_line', not '${expected//%s/M10}'"
hidden=$(line_of 'show MainFrm hidden')
shown_again=$(grep -nx 'show MainFrm normal' "$host_log" | cut -d: -f1 | awk -v after="$hidden" '$1 > after { print; exit }')
[ "$hidden" -gt 0 ] && [ -n "$shown_again" ] && [ "$shown_again" -gt "$(line_of 'destroy OSFrm')" ] ||
  fail "the launcher was not hidden, then shown again after the OS dialog"
[ "$(line_of "text MainFrm 10001 .*")" -gt "$(line_of 'create OSFrm.*')" ] || fail "the model line came before the OS dialog"
is_viewable "$main_window" || fail "the launcher is not on screen after the selection"
note "first model and OS by keyboard: the launcher is back with '$model_line'"

# The selection decides the start dialog's entries: section A_L_App has two (1021, 1022). The
# dialog opens on its drive list; with no drive 1021 is disabled, so Tab reaches 1022 and a
# second Tab the header's 1001, either of which closes the dialog.
type_keys "$main_window" space
type_keys "$(window_of AppFrm)" Tab Tab space
wait_for_log '^destroy AppFrm$' 2 || fail "M10/Linux: two Tabs from the drive list do not reach a close button"
stop_program

# M12/Linux: B_L_App has one entry, so 1022 is hidden and two Tabs (1001, then round) come back
# to the drive list.
start_launcher
select_entries 2 1
[ "$(grep '^text MainFrm 10001 ' "$host_log" | tail -n 1 | cut -d' ' -f4-)" = "${expected//%s/M12}" ] ||
  fail "the second model did not reach the launcher"
type_keys "$main_window" space
type_keys "$(window_of AppFrm)" Tab Tab space
sleep 1
grep -qx 'destroy AppFrm' "$host_log" && fail "M12/Linux: the start dialog offers a close button 1022"
stop_program
note "the chosen model and OS decide the start dialog's entries (A_L_App: 2, B_L_App: 1)"

# Escape cancels: in the model dialog, and in the OS dialog; either ends the program.
start_launcher
type_keys "$main_window" ctrl+alt+q
type_keys "$(window_of ModelFrm)" Escape
wait_for_exit "$program_pid" 2 || fail "Escape in the model dialog did not end the program within 2 s"
[ "$exit_status" -eq 0 ] || fail "Escape in the model dialog: status $exit_status"
grep -q '^create OSFrm' "$host_log" && fail "the OS dialog was shown after the model dialog was cancelled"
start_launcher
type_keys "$main_window" ctrl+alt+q
type_keys "$(window_of ModelFrm)" space
type_keys "$(window_of OSFrm)" Escape
wait_for_exit "$program_pid" 2 || fail "Escape in the OS dialog did not end the program within 2 s"
[ "$exit_status" -eq 0 ] || fail "Escape in the OS dialog: status $exit_status"
note "Escape in the model or the OS dialog ends the program within 2 s"
note "PASS"
