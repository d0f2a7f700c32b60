#!/usr/bin/env bash
# One whole job's progress, as the writer shows it: every bar position and percentage line, in
# order, against the table the writer follows. The CD copy carries a 16 MiB root.lzm so that its
# copy reports many steps.
source "$(dirname "$0")/lib/system.sh"
system_test_init "$@"

word=$(text_of 24)
ready_text=$(text_of 25)
cd_copy="$work/cd"
cp -a "$cd_root" "$cd_copy"
head -c 16M /dev/urandom >"$cd_copy/ISOLINUX/root.lzm"
program="$cd_copy/AUTORUN/arkeven"
stick="$work/stick.img"
fresh_stick "$stick" 300M
{ write_job_steps; close_all_steps; } >"$work/job.script"
start_program ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/job.script" ARKEVEN_VIRTUAL_STICKS="$stick"
finish_program 120
writer_trace >"$work/trace"

bar() { echo "progress UsbFrm $1"; }
line() { echo "text UsbFrm 10005 $1% $word"; }

# The format reports every percentage p from 0 to 100: the bar at p/2 cut toward zero, the line
# at p/2 with no decimals, a half going to the even neighbour; at 100 the bar goes on to 75.
# Then the done report, and copies 1 and 2 with the line first, then the bar.
{
  for p in $(seq 0 100); do
    half=$((p / 2))
    shown=$half
    if [ $((p % 2)) -eq 1 ] && [ $((half % 2)) -eq 1 ]; then
      shown=$((half + 1))
    fi
    bar "$half"
    [ "$p" -eq 100 ] && bar 75
    line "$shown"
  done
  bar 78; line 55
  line 58; bar 80
  line 60; bar 82
} >"$work/expected.head"
# After copy 3 the bar falls back to 135; copies 4 and 5; the installer; text 25.
{
  line 90; bar 135
  line 95; bar 140
  line 100; bar 150
  echo "text UsbFrm 10005 $ready_text"
} >"$work/expected.tail"

head_lines=$(wc -l <"$work/expected.head")
tail_lines=$(wc -l <"$work/expected.tail")
total=$(wc -l <"$work/trace")
[ "$total" -gt $((head_lines + tail_lines)) ] || fail "the trace has only $total lines"
head -n "$head_lines" "$work/trace" | diff -u "$work/expected.head" - >&2 ||
  fail "format and first copies: the trace differs from the table (above)"
tail -n "$tail_lines" "$work/trace" | diff -u "$work/expected.tail" - >&2 ||
  fail "last copies and end: the trace differs from the table (above)"

# Copy 3 (root.lzm) in between: reports of a line "60 + x" (x = 30 × bytes copied / size) and a
# bar at 82 + 2x cut toward zero, each a consistent pair, x never going back, from the report
# before the first byte (60 %, 82) to the last (90 %, 142).
sed -n "$((head_lines + 1)),$((total - tail_lines))p" "$work/trace" >"$work/copy3"
awk -v word="$word" '
  function bad(message) { print "copy 3, line " NR ": " message ": " $0 > "/dev/stderr"; failed = 1; exit 1 }
  NR % 2 == 1 {
    if ($0 !~ ("^text UsbFrm 10005 [0-9]+% " word "$")) bad("expected a percentage line")
    shown = $4 + 0
    next
  }
  {
    if ($0 !~ /^progress UsbFrm [0-9]+$/) bad("expected a bar position")
    position = $3 + 0
    # x from the bar: 82 + floor(2x) = position; x from the line: 60 + x rounds to shown.
    low = (position - 82) / 2; high = (position - 81) / 2
    if (shown - 60.5 > low) low = shown - 60.5
    if (shown - 59.5 < high) high = shown - 59.5
    if (low < lowest) low = lowest
    if (low > high || low < 0 || low > 30) bad("the line and the bar do not come from one x at or after the last")
    lowest = low
    if (NR == 2 && (shown != 60 || position != 82)) bad("the first report is not 60 % at 82")
    pairs++
  }
  END {
    if (failed) exit 1
    if (NR % 2 != 0) { print "copy 3: a line without its bar position" > "/dev/stderr"; exit 1 }
    if (shown != 90 || position != 142) { print "copy 3: the last report is " shown " % at " position ", not 90 % at 142" > "/dev/stderr"; exit 1 }
    if (pairs < 4) { print "copy 3: only " pairs " reports for 16 MiB" > "/dev/stderr"; exit 1 }
    print pairs
  }' "$work/copy3" >"$work/pairs" || fail "the root.lzm copy does not follow the table"
note "format 0..100, copies and end as in the table; root.lzm in $(cat "$work/pairs") steps"
note "PASS"
