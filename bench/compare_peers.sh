#!/usr/bin/env bash
# pgmtool beside other tools on the same files: same answers, and the
# whole-process times side by side (best of three runs each).
# Usage: compare_peers.sh [PGMTOOL [OTHER_PGMTOOL]]; an other pgmtool (an
# earlier build, say) is timed beside it on the hexadecimal record file.
set -euo pipefail
tool=$(realpath "${1:-build-bench/pgmtool}")
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" rhash python3 bc binutils srecord time zip unzip libxml2-utils >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Best wall time of three runs of a command, in seconds; its output goes to $work/out.
best_time() {
  local best=
  for _ in 1 2 3; do
    local start end took
    start=$(date +%s.%N)
    "$@" >"$work/out"
    end=$(date +%s.%N)
    took=$(echo "$end - $start" | bc -l)
    if [ -z "$best" ] || [ "$(echo "$took < $best" | bc -l)" = 1 ]; then best=$took; fi
  done
  echo "$best"
}

ratio() { echo "scale=2; $1 / $2" | bc -l; }

echo "== CRC-32 of a 256 MiB file"
head -c $((256 << 20)) /dev/urandom >"$work/data.bin"
t_pgm=$(best_time "$tool" crc "$work/data.bin" --kind=crc32)
v_pgm=$(tr 'A-F' 'a-f' <"$work/out" | sed 's/^0x//')
t_rhash=$(best_time rhash --crc32 --simple "$work/data.bin")
v_rhash=$(cut -d' ' -f1 <"$work/out")
t_py=$(best_time /usr/bin/python3 -c '
import sys, zlib
crc = 0
with open(sys.argv[1], "rb") as f:
    while True:
        piece = f.read(1 << 20)
        if not piece: break
        crc = zlib.crc32(piece, crc)
print("%08x" % crc)' "$work/data.bin")
v_py=$(cat "$work/out")
if [ "$v_pgm" != "$v_rhash" ] || [ "$v_pgm" != "$v_py" ]; then
  echo "CRC-32 values differ: pgmtool $v_pgm, rhash $v_rhash, python zlib $v_py" >&2
  exit 1
fi
printf '%-28s %8.3f s\n' "pgmtool crc --kind=crc32" "$t_pgm" "rhash --crc32" "$t_rhash" "python3 zlib.crc32" "$t_py"
echo "same value $v_pgm; rhash/pgmtool $(ratio "$t_rhash" "$t_pgm"), python/pgmtool $(ratio "$t_py" "$t_pgm")"

# Whole-process peak memory of a command, in KiB.
peak_kib() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -1; }

echo
echo "== SHA-256 of a 200 MB file"
head -c 200000000 /dev/urandom >"$work/sha.bin"
t_pgm=$(best_time "$tool" sha "$work/sha.bin")
v_pgm=$(cat "$work/out")
t_sum=$(best_time sha256sum "$work/sha.bin")
v_sum=$(cat "$work/out")
[ "$v_pgm" = "$v_sum" ] || { echo "SHA-256 lines differ: pgmtool $v_pgm, sha256sum $v_sum" >&2; exit 1; }
m_pgm=$(peak_kib "$tool" sha "$work/sha.bin")
m_sum=$(peak_kib sha256sum "$work/sha.bin")
printf '%-28s %8.3f s %8s KiB\n' "pgmtool sha" "$t_pgm" "$m_pgm" "sha256sum" "$t_sum" "$m_sum"
echo "same line; sha256sum/pgmtool $(ratio "$t_sum" "$t_pgm")"
rm -f "$work/sha.bin"

echo
echo "== Hexadecimal record file of a 50 MB image (763 segments of 64 KiB) to a binary image"
# Whole-process figures of a command, best wall time of three runs:
# "WALL USER SYSTEM PEAK_KIB"; its output goes to $work/out.
measure() {
  local best= line
  for _ in 1 2 3; do
    /usr/bin/time -o "$work/time" -f '%e %U %S %M' "$@" >"$work/out"
    line=$(cat "$work/time")
    if [ -z "$best" ] || [ "$(echo "${line%% *} < ${best%% *}" | bc -l)" = 1 ]; then best=$line; fi
  done
  echo "$best"
}
row() { # NAME WALL USER SYSTEM PEAK_KIB
  printf '%-34s %7.2f s wall %7.2f s user %7.2f s system %8d KiB peak\n' "$@"
}
field() { echo "$1" | cut -d' ' -f"$2"; }
image_bytes=$((763 << 16))
head -c $image_bytes /dev/urandom >"$work/image.bin"
srec_cat "$work/image.bin" -binary -o "$work/image.hex" -intel -obs=32
echo "input: $(wc -c <"$work/image.hex") bytes of text, $(grep -c '^:02000004' "$work/image.hex") extended linear address records"
# The floor: reading the text, and writing an image of that size to disk.
f_cat=$(measure sh -c 'exec cat "$1" >/dev/null' sh "$work/image.hex")
f_dd=$(measure dd if="$work/image.bin" of="$work/floor.bin" bs=1M conv=fsync status=none)
f_wall=$(echo "$(field "$f_cat" 1) + $(field "$f_dd" 1)" | bc -l)
f_sys=$(echo "$(field "$f_cat" 3) + $(field "$f_dd" 3)" | bc -l)
row "floor: cat HEX > /dev/null" $f_cat
row "floor: dd conv=fsync (image)" $f_dd
printf '%-34s %7.2f s wall %7.2f s user %7.2f s system\n' "floor: both" "$f_wall" \
  "$(echo "$(field "$f_cat" 2) + $(field "$f_dd" 2)" | bc -l)" "$f_sys"
m_pgm=$(measure "$tool" hex2bin "$work/image.hex" "$work/pgm.bin")
row "pgmtool hex2bin" $m_pgm
if [ -n "${2:-}" ]; then
  m_old=$(measure "$(realpath "$2")" hex2bin "$work/image.hex" "$work/old.bin")
  row "pgmtool hex2bin (the other)" $m_old
fi
m_objcopy=$(measure objcopy -I ihex -O binary "$work/image.hex" "$work/objcopy.bin")
row "objcopy -I ihex -O binary" $m_objcopy
m_srec=$(measure srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary)
row "srec_cat -intel -binary" $m_srec
for out in pgm objcopy srec ${2:+old}; do
  cmp -s "$work/image.bin" "$work/$out.bin" || { echo "$out output differs from the image" >&2; exit 1; }
done
echo "identical outputs"
cpu() { echo "$(field "$1" 2) + $(field "$1" 3)" | bc -l; } # user + system
f_cpu=$(echo "$(cpu "$f_cat") + $(cpu "$f_dd")" | bc -l)
# On a shared machine the wall times wait for a processor too; the
# processor times (user + system) do not.
echo "pgmtool/floor: wall $(ratio "$(field "$m_pgm" 1)" "$f_wall"), system $(ratio "$(field "$m_pgm" 3)" "$f_sys")," \
  "system beyond the floor's $(echo "$(field "$m_pgm" 3) - $f_sys" | bc -l) s, user (decoding) $(field "$m_pgm" 2) s"
echo "objcopy/pgmtool: wall $(ratio "$(field "$m_objcopy" 1)" "$(field "$m_pgm" 1)"), processor" \
  "$(ratio "$(cpu "$m_objcopy")" "$(cpu "$m_pgm")"); srec_cat/pgmtool: wall $(ratio "$(field "$m_srec" 1)" "$(field "$m_pgm" 1)")"
kib=$((image_bytes / 1024))
echo "peak memory / image: pgmtool $(ratio "$(field "$m_pgm" 4)" $kib), objcopy $(ratio "$(field "$m_objcopy" 4)" $kib)"
if [ -n "${2:-}" ]; then
  echo "this pgmtool / the other: wall $(ratio "$(field "$m_pgm" 1)" "$(field "$m_old" 1)"), system" \
    "$(ratio "$(field "$m_pgm" 3)" "$(field "$m_old" 3)"), processor $(ratio "$(cpu "$m_pgm")" "$(cpu "$m_old")")," \
    "peak memory $(ratio "$(field "$m_pgm" 4)" "$(field "$m_old" 4)") (the other: $(ratio "$(field "$m_old" 4)" $kib) x the image)"
fi

echo
echo "== Memory initialisation file of a 4 MiB image (8-bit words) to a binary image"
head -c $((4 << 20)) "$work/image.bin" >"$work/small.bin"
srec_cat "$work/small.bin" -binary -o "$work/small.mif" -Memory_Initialization_File 8
t_pgm=$(best_time "$tool" mif2bin "$work/small.mif" "$work/pgm_mif.bin")
t_srec=$(best_time srec_cat "$work/small.mif" -Memory_Initialization_File -o "$work/srec_mif.bin" -binary)
for out in pgm_mif srec_mif; do
  cmp -s "$work/small.bin" "$work/$out.bin" || { echo "$out output differs from the image" >&2; exit 1; }
done
printf '%-28s %8.3f s\n' "pgmtool mif2bin" "$t_pgm" "srec_cat -mif -binary" "$t_srec"
echo "identical outputs; srec_cat/pgmtool $(ratio "$t_srec" "$t_pgm")"

echo
echo "== ZIP archive of 64 files of 1 MiB: create, list, extract"
mkdir -p "$work/zipin"
for i in $(seq -w 0 63); do head -c $((1 << 20)) /dev/urandom >"$work/zipin/f$i.bin"; done
cd "$work"
t_pgm=$(best_time sh -c "rm -f pgm.zip && '$tool' zip --create pgm.zip zipin/*")
t_zip=$(best_time sh -c 'rm -f info.zip && zip -q -0 -X info.zip zipin/*')
unzip -tq pgm.zip >/dev/null || { echo "unzip -t fails on the pgmtool archive" >&2; exit 1; }
printf '%-28s %8.3f s\n' "pgmtool zip --create" "$t_pgm" "zip -q -0 -X" "$t_zip"
echo "zip/pgmtool $(ratio "$t_zip" "$t_pgm") (archives $(wc -c <pgm.zip) and $(wc -c <info.zip) bytes)"
t_pgm=$(best_time "$tool" zip --list info.zip)
t_unzip=$(best_time unzip -v info.zip)
m_pgm=$(peak_kib "$tool" zip --list info.zip)
m_unzip=$(peak_kib unzip -v info.zip)
printf '%-28s %8.3f s %8s KiB\n' "pgmtool zip --list" "$t_pgm" "$m_pgm" "unzip -v" "$t_unzip" "$m_unzip"
echo "unzip/pgmtool $(ratio "$t_unzip" "$t_pgm") (the Info-ZIP archive, directory only)"
t_pgm=$(best_time sh -c "rm -rf out_pgm && '$tool' zip --extract pgm.zip --dir=out_pgm")
t_unzip=$(best_time sh -c 'rm -rf out_unzip && unzip -q info.zip -d out_unzip')
diff -r zipin out_pgm/zipin >/dev/null && diff -r zipin out_unzip/zipin >/dev/null ||
  { echo "extracted files differ from the originals" >&2; exit 1; }
printf '%-28s %8.3f s\n' "pgmtool zip --extract" "$t_pgm" "unzip -q" "$t_unzip"
echo "identical files; unzip/pgmtool $(ratio "$t_unzip" "$t_pgm")"

echo
echo "== Programming-file generator jobs of about 1, 10 and 50 MB: pgmtool xml beside xmllint --noout"
# A job with many raw_file and partition elements.
make_job() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
path, count = sys.argv[1], int(sys.argv[2])
with open(path, "w") as out:
    out.write('<pfg version="1">\n    <settings mode="ASX4" custom_db_dir="db"/>\n    <raw_files>\n')
    for i in range(count):
        out.write('        <raw_file type="HEX" id="raw%d" bitswap="true">inputs/image_%d.hex</raw_file>\n' % (i, i))
    out.write('    </raw_files>\n    <flash_devices>\n        <flash_device type="MT25QU01G" id="flash0">\n')
    for i in range(count):
        out.write('            <partition id="p%d" s_addr="0x%08X" e_addr="auto" fixed_s_addr="true" size="4096"/>\n'
                  % (i, i * 4096))
    out.write('        </flash_device>\n    </flash_devices>\n</pfg>\n')
PY
}
for size in 1 10 50; do
  make_job "$work/job$size.xml" $((size * 5600))
  t_pgm=$(best_time "$tool" xml "$work/job$size.xml" --kind=pfg)
  t_lint=$(best_time xmllint --noout "$work/job$size.xml")
  eval "t_job$size=$t_pgm"
  printf '%-28s %8.3f s   xmllint --noout %8.3f s   xmllint/pgmtool %s   (%s bytes)\n' "pgmtool xml, $size MB job" \
    "$t_pgm" "$t_lint" "$(ratio "$t_lint" "$t_pgm")" "$(wc -c <"$work/job$size.xml")"
done
echo "growth: 50 MB / 10 MB job time $(ratio "$t_job50" "$t_job10") (5 for linear)"

echo
echo "== Firmware-bitstream assembler files with 100,000 and 500,000 command actions in one main section"
# Each action a message send with its header and two data words, a delay, a
# comment or a no-op, in turn.
make_fbgen() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
path, count = sys.argv[1], int(sys.argv[2])
actions = (
    '<cnoc_send_action type="IO" sync_after="1"><command_header format="WRINC" message="UNICAST" source="SDM" cnoc_x="%d" cnoc_y="3"/>'
    '<ipc_data>0x%08X</ipc_data><ipc_data>%d</ipc_data></cnoc_send_action>',
    '<cnoc_delay_action type="d%d"><delay_cycles>8</delay_cycles></cnoc_delay_action>',
    '<comment_action>step %d</comment_action>',
    '<nop count="%d"/>',
)
with open(path, "w") as out:
    out.write('<fbgen>\n  <bitstream>\n    <io_main_section>\n')
    for i in range(count):
        action = actions[i % len(actions)]
        out.write('      ' + (action % ((i, i, i) if i % 4 == 0 else (i,))) + '\n')
    out.write('    </io_main_section>\n  </bitstream>\n</fbgen>\n')
PY
}
for count in 100000 500000; do
  make_fbgen "$work/fbgen$count.xml" $count
  t_pgm=$(best_time "$tool" xml "$work/fbgen$count.xml" --kind=fbgen)
  t_lint=$(best_time xmllint --noout "$work/fbgen$count.xml")
  eval "t_fbgen$count=$t_pgm"
  printf '%-28s %8.3f s   xmllint --noout %8.3f s   xmllint/pgmtool %s   (%s bytes)\n' \
    "pgmtool xml, $count actions" "$t_pgm" "$t_lint" "$(ratio "$t_lint" "$t_pgm")" "$(wc -c <"$work/fbgen$count.xml")"
done
echo "growth: 500,000 / 100,000 actions time $(ratio "$t_fbgen500000" "$t_fbgen100000") (5 for linear, at most 5.5 wanted)"
