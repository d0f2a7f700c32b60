# Shared by bench/stick and bench/stick-real: the keyboard job, the same tools run by hand, and
# the check of a written stick. The caller sets cd_root, image (an image file or a block device),
# offset and partition_bytes.

source "$(dirname "${BASH_SOURCE[0]}")/../../tests/scripts/lib/system.sh"

now() { echo "${EPOCHREALTIME/,/.}"; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
smallest() { printf '%s\n' "$@" | sort -g | head -n 1; }

# The system tests' job steps (tests/scripts/lib/system.sh), closed with short pauses: the press
# of Start marks the writer busy before the first Escape can arrive, so nothing waits for the
# job to begin. An Escape still queued when the writer closes may close the start dialog too, so
# that one is pressed until gone as well.
write_job_script() {
  {
    write_job_steps
    printf '%s\n' "press-until-gone UsbFrm escape 20 600" "press-until-gone AppFrm escape 20 5" "wait MainFrm" "close MainFrm"
  } > "$1"
}

# The program on the stick, headless; extra NAME=value arguments go into its environment.
run_program() {
  env ARKEVEN_HOST=headless ARKEVEN_HEADLESS_SCRIPT="$work/job.script" ARKEVEN_HOST_LOG="$work/host.log" \
    ARKEVEN_VIRTUAL_STICKS="$image" ARKEVEN_CD_ROOT="$cd_root" DISPLAY= "$@" \
    "$cd_root/AUTORUN/arkeven" > "$work/program.out" 2>&1 || { echo "stick: the program failed:" >&2; tail -n 20 "$work/program.out" >&2; exit 1; }
}

# The pipeline in its four stages, so that each can be timed.
pipeline_zeros() {
  dd if=/dev/zero of="$image" bs=4M iflag=count_bytes count=$partition_bytes \
    oflag=direct,seek_bytes seek=$offset conv=notrunc status=none
}
pipeline_file_system() {
  printf 'label: dos\nstart=2048, type=c, bootable\n' | sfdisk -q --no-reread --no-tell-kernel "$image"
  mkfs.fat -F 32 -S 512 -s 8 -n VarnMID -h 2048 --offset 2048 -I "$image" $((partition_bytes / 1024)) > /dev/null 2>&1
}
pipeline_copies() {
  mcopy -o -i "$image@@$offset" "$cd_root/_DEROZAZLIVE" ::/.Derozazlive
  for name in initrd.img root.lzm syslinux.cfg vmlinuz; do
    mcopy -o -i "$image@@$offset" "$cd_root/ISOLINUX/$name" "::/$name"
  done
}
pipeline_installer() {
  "$cd_root/syslinux/syslinux" --force --install --offset $offset "$image"
  dd if="$cd_root/syslinux/mbr.bin" of="$image" bs=440 count=1 conv=notrunc status=none
  sync "$image"
}
run_pipeline() { pipeline_zeros; pipeline_file_system; pipeline_copies; pipeline_installer; }

# Wipes what the last run left, so each run starts from the same kind of stick: an old
# partition table, and none of the stick's pages in memory, as when it has just been plugged in.
spoil_stick() {
  dd if=/dev/urandom of="$image" bs=1M count=2 conv=notrunc,fsync status=none
  dd if=/dev/null of="$image" oflag=nocache conv=notrunc,fdatasync count=0 status=none
}

# The stick must hold the five files at their sizes and a clean FAT32 volume labelled VarnMID.
check_stick() {
  local side="$1" listing
  listing="$(mdir -i "$image@@$offset" -a ::/ 2>&1)" || { echo "stick: $side: no volume: $listing" >&2; exit 1; }
  grep -q 'Volume in drive : is VarnMID' <<<"$listing" || { echo "stick: $side: wrong label" >&2; exit 1; }
  mtype -i "$image@@$offset" ::/root.lzm | cmp -s - "$cd_root/ISOLINUX/root.lzm" || { echo "stick: $side: root.lzm differs" >&2; exit 1; }
  for name in .Derozazlive initrd.img syslinux.cfg vmlinuz ldlinux.sys; do
    mdir -i "$image@@$offset" -a "::/$name" > /dev/null 2>&1 || { echo "stick: $side: $name missing" >&2; exit 1; }
  done
}
