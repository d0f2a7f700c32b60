#!/usr/bin/env bash
# arkeven --make-stick on the real program: three virtual sticks written in one command, each
# checked like a stick the window wrote and one of them booted; a target pulled out mid-job fails
# alone; targets that may not be written, and a command with nobody to confirm it, are refused.
source "$(dirname "$0")/lib/system.sh"
system_test_init "$@"
require_tools mdir mtype fsck.fat cmp

e="$work/e.img" f="$work/f.img" g="$work/g.img"
for stick in "$e" "$f" "$g"; do fresh_stick "$stick" 300M; done
sticks="$e,$f,$g"

# make_sticks ARG...: the command with the three sticks, output in $program_out; status in $status.
make_sticks() {
  status=0
  ARKEVEN_VIRTUAL_STICKS="$sticks" "$program" --make-stick "$@" </dev/null >"$program_out" 2>"$program_err" || status=$?
}

# ---- Refusals: nothing is written.
make_sticks E: F:
[ "$status" -eq 2 ] || fail "without --yes and a terminal: status $status, not 2"
grep -q 'add --yes' "$program_err" || fail "without --yes and a terminal: no hint at --yes"
for target in D: Q: "E: D:"; do
  # shellcheck disable=SC2086
  make_sticks $target --yes
  [ "$status" -eq 2 ] || fail "--make-stick $target: status $status, not 2"
done
grep -q 'D: is not a USB drive' "$program_err" || fail "the CD's refusal does not name it"
for stick in "$e" "$f" "$g"; do
  cmp -s -n $((300 << 20)) "$stick" /dev/zero || fail "a refused command wrote $(basename "$stick")"
done
note "refused: no terminal and no --yes, the CD, an unknown letter; nothing written"

# Elevated through pkexec for another user: root's own image files are not that user's to write.
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
  status=0
  PKEXEC_UID="$(id -u nobody)" ARKEVEN_VIRTUAL_STICKS="$sticks" "$program" --make-stick E: --yes </dev/null \
    >"$program_out" 2>"$program_err" || status=$?
  [ "$status" -eq 2 ] || fail "elevated for nobody: a root-owned stick was accepted (status $status)"
  grep -qF "virtual stick $e left out" "$program_err" || fail "elevated for nobody: stderr does not name the stick left out"
  cmp -s -n $((300 << 20)) "$e" /dev/zero || fail "elevated for nobody: the root-owned stick was written"
  chown nobody "$f"
  PKEXEC_UID="$(id -u nobody)" ARKEVEN_VIRTUAL_STICKS="$sticks" "$program" --list-drives >"$work/elevated.drives" 2>/dev/null
  grep -qE "^E:  $f  removable" "$work/elevated.drives" || fail "elevated for nobody: the user's own stick is not offered"
  chown root "$f"
  note "elevated for nobody: root's sticks left out and named, the user's own offered"

  # A user who may not write the sticks (the user's own, mode 0444): one request through a
  # stand-in pkexec that keeps pkexec's rules, for both sticks, and both end ready.
  chmod 755 "$work"
  cp -a "$cd_root" "$work/user-cd"
  standin_pkexec "$work/bin"
  for stick in "$e" "$f"; do
    chown nobody "$stick"
    chmod 444 "$stick"
  done
  status=0
  setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups env -i PATH="$work/bin:$PATH" ARKEVEN_VIRTUAL_STICKS="$e,$f" \
    "$work/user-cd/AUTORUN/arkeven" --make-stick E: F: --yes </dev/null >"$program_out" 2>"$program_err" || status=$?
  [ "$status" -eq 0 ] || fail "as a user: status $status: $(tail -n 3 "$program_out")"
  [ "$(wc -l <"$work/bin/pkexec.calls")" -eq 1 ] || fail "as a user: pkexec was asked $(wc -l <"$work/bin/pkexec.calls") times"
  grep -q -- "--stick-helper E=.* F=" "$work/bin/pkexec.calls" || fail "as a user: the request does not name both sticks"
  for letter in E F; do
    grep -qE "^$letter \\([0-9]+ MBytes\\)  ready\$" "$program_out" || fail "as a user: no 'ready' summary for $letter"
  done
  for stick in "$e" "$f"; do
    stick_holds_live_system "$stick" "$work/user-cd"
    chown root "$stick"
    chmod 644 "$stick"
  done
  note "a user's two sticks it may not write: one request for both, both ready"
fi

# ---- Three at once.
make_sticks E: F: G: --yes
[ "$status" -eq 0 ] || fail "three sticks: status $status; output: $(tail -n 3 "$program_out")"
for letter in E F G; do
  grep -qE "^$letter \\([0-9]+ MBytes\\)  ready\$" "$program_out" || fail "three sticks: no 'ready' summary for $letter"
done
for stick in "$e" "$f" "$g"; do
  dd if="$stick" of="$work/partition.img" bs=1M skip=1 conv=sparse status=none
  fsck.fat -n "$work/partition.img" >"$work/fsck.log" 2>&1 || fail "fsck.fat found errors on $(basename "$stick")"
  stick_holds_live_system "$stick" "$cd_root"
  stick_names "$stick" | grep -qx 'ldlinux.sys' || fail "$(basename "$stick") has no boot loader"
done
BOOT_CHECK_TIMEOUT=90 "$source_dir/scripts/boot-check" "$f" || fail "the stick written as F does not boot"
note "three sticks written at once: clean, the five files, F boots"

# ---- One pulled out during its copies: it alone fails. A large root image gives time.
cd_copy="$work/cd"
cp -a "$cd_root" "$cd_copy"
head -c 200M /dev/urandom >"$cd_copy/ISOLINUX/root.lzm"
program="$cd_copy/AUTORUN/arkeven"
for stick in "$e" "$f" "$g"; do fresh_stick "$stick" 300M; done
ARKEVEN_VIRTUAL_STICKS="$sticks" "$program" --make-stick E: F: G: --yes </dev/null >"$program_out" 2>"$program_err" &
command_pid=$!
started_pids+=("$command_pid")
wait_for_line "$program_out" '^F \([0-9]+ MBytes\)  copying' 60 || fail "pulled: F never reached its copies"
rm -f "$f"
status=0
wait "$command_pid" || status=$?
[ "$status" -eq 1 ] || fail "pulled: status $status, not 1"
grep -qE '^F \([0-9]+ MBytes\)  failed: ' "$program_out" || fail "pulled: F did not fail: $(tail -n 3 "$program_out")"
for letter in E G; do
  grep -qE "^$letter \\([0-9]+ MBytes\\)  ready\$" "$program_out" || fail "pulled: $letter did not end ready"
done
note "F pulled out mid-job: F failed, E and G ready"
note "PASS"
