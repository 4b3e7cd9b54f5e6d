#!/usr/bin/env bash
# pgmtool beside other tools on the same files: same answers, and the
# whole-process times side by side (best of three runs each).
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
echo "== Hexadecimal record file of a 64 MiB image to a binary image"
head -c $((64 << 20)) /dev/urandom >"$work/image.bin"
srec_cat "$work/image.bin" -binary -o "$work/image.hex" -intel -obs=32
echo "input: $(wc -c <"$work/image.hex") bytes of text, $(grep -c '^:02000004' "$work/image.hex") extended linear address records"
t_pgm=$(best_time "$tool" hex2bin "$work/image.hex" "$work/pgm.bin")
t_objcopy=$(best_time objcopy -I ihex -O binary "$work/image.hex" "$work/objcopy.bin")
t_srec=$(best_time srec_cat "$work/image.hex" -intel -o "$work/srec.bin" -binary)
for out in pgm objcopy srec; do
  cmp -s "$work/image.bin" "$work/$out.bin" || { echo "$out output differs from the image" >&2; exit 1; }
done
printf '%-28s %8.3f s\n' "pgmtool hex2bin" "$t_pgm" "objcopy -I ihex -O binary" "$t_objcopy" "srec_cat -intel -binary" "$t_srec"
echo "identical outputs; objcopy/pgmtool $(ratio "$t_objcopy" "$t_pgm"), srec_cat/pgmtool $(ratio "$t_srec" "$t_pgm")"
m_pgm=$(peak_kib "$tool" hex2bin "$work/image.hex" "$work/pgm.bin")
m_objcopy=$(peak_kib objcopy -I ihex -O binary "$work/image.hex" "$work/objcopy.bin")
echo "peak memory: pgmtool $m_pgm KiB ($(ratio "$m_pgm" 65536) x the image), objcopy $m_objcopy KiB"

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
