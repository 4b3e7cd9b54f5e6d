#!/usr/bin/env bash
# Runs pgmtool on the bundled example files and shows each command.
# Usage: run-examples.sh [PGMTOOL [OUTPUT_FOLDER]]; the files the commands
# write stay in OUTPUT_FOLDER (build/examples-out by default), made afresh.
set -euo pipefail
tool=$(realpath "${1:-build/pgmtool}")
here=$(cd "$(dirname "$0")/.." && pwd)
examples=$here/examples
out=${2:-$(dirname "$tool")/examples-out}
# Only a folder this script made before is emptied.
if [ -e "$out" ] && [ ! -e "$out/.pgmtool-examples" ] && [ -n "$(ls -A "$out")" ]; then
  echo "$out holds files this script did not write; give another output folder" >&2
  exit 1
fi
rm -rf "$out"
mkdir -p "$out"
out=$(realpath "$out")
touch "$out/.pgmtool-examples"
echo "pgmtool is $tool; the examples' outputs go to $out"
echo

show() {
  echo "\$ pgmtool $*"
  "$tool" "$@"
  echo
}

# The bytes of a file, at most the first 64.
dump() {
  echo "\$ od -A x -t x1 -N 64 $1"
  od -A x -t x1 -N 64 "$1"
  echo
}

show version
for kind in crc16 x25 kermit crc32; do
  show crc "$examples/check_digits.txt" --kind=$kind
done
show crc "$examples/config_note.txt" --kind crc32
echo "\$ cat check_digits.txt | pgmtool crc - --kind=crc32   (\"-\": standard input)"
"$tool" crc - --kind=crc32 < "$examples/check_digits.txt"
echo
show trace --add="make run was here" --ini=PGM_DEBUG_TRACE=on --ini=PGM_ENABLE_PGMTOOL_DEBUG=on
show trace
echo "\$ pgmtool crc missing.bin --kind=crc32   (fails on purpose: the error goes to standard error, exit code 2)"
"$tool" crc missing.bin --kind=crc32 || echo "exit code $?"
echo
echo "\$ pgmtool crc check_digits.txt --kind=crc64   (a command-line mistake: exit code 1)"
"$tool" crc "$examples/check_digits.txt" --kind=crc64 || echo "exit code $?"
echo

# Hexadecimal record files: a flash image with a gap and an extended
# linear address record, and a boot image that runs on from address 0.
show hexinfo "$examples/flash_image.hex"
show hex2bin "$examples/flash_image.hex" "$out/flash_image.bin"
dump "$out/flash_image.bin"
# As erased flash reads: gaps of 0xFF, the image cut to 0x100 up to 0x200.
show hex2bin "$examples/flash_image.hex" "$out/flash_erased.bin" --fill 0xFF --start 0x100 --end 0x200
dump "$out/flash_erased.bin"
show hexinfo "$examples/boot.hex"
show hex2bin "$examples/boot.hex" "$out/boot.bin" --continuous
dump "$out/boot.bin"
echo "\$ pgmtool hex2bin flash_image.hex flash.bin --continuous   (fails on purpose: exit code 2)"
"$tool" hex2bin "$examples/flash_image.hex" "$out/flash.bin" --continuous || echo "exit code $?"
echo
echo "\$ pgmtool hex2bin boot.hex - | od -A x -t x1 -N 16   (\"-\": standard output; the summary goes to standard error)"
"$tool" hex2bin "$examples/boot.hex" - | od -A x -t x1 -N 16
echo

# Memory contents.
show mif2bin "$examples/rom.mif" "$out/rom.bin"
dump "$out/rom.bin"
show mif2bin "$examples/rom.mif" "$out/rom32.bin" --required-size=32
show mem2bin "$examples/memory.txt" "$out/memory.bin"
dump "$out/memory.bin"
show mem2bin "$examples/memory.txt" "$out/memory8.bin" --depth=8
dump "$out/memory8.bin"

# Bitstream forms: DAT to binary and back, ICD rows of bits to binary.
show dat2rbf "$examples/bitstream.dat" "$out/bitstream.rbf"
dump "$out/bitstream.rbf"
show rbf2dat "$out/bitstream.rbf" "$out/bitstream.dat" --bytes-per-line 8
echo "\$ cat bitstream.dat"
cat "$out/bitstream.dat"
echo
show icd2bin "$examples/pattern.icd" "$out/pattern.bin"
dump "$out/pattern.bin"
show icd2bin "$examples/pattern.icd" "$out/pattern_reversed.bin" --last-line-first --highest-bit-first
dump "$out/pattern_reversed.bin"

# ZIP archives of stored members: three examples archived under their own
# names, listed, and extracted into a new folder.
cd "$examples"
show zip --create "$out/examples.zip" flash_image.hex rom.mif bitstream.dat
show zip --list "$out/examples.zip"
show zip --test "$out/examples.zip"
show zip --extract "$out/examples.zip" --dir="$out/extracted"
echo "\$ cmp rom.mif extracted/rom.mif"
cmp rom.mif "$out/extracted/rom.mif" && echo "same bytes"
echo

# Digests, HMAC and deterministic random bits.
show sha "$examples/check_digits.txt"
show sha "$examples/check_digits.txt" --bits=512
echo "\$ pgmtool sha *.txt > SHA256SUMS; pgmtool sha --check=SHA256SUMS   (as sha256sum -c)"
"$tool" sha check_digits.txt config_note.txt memory.txt > "$out/SHA256SUMS"
"$tool" sha --check="$out/SHA256SUMS"
echo
show hmac "$examples/check_digits.txt" --key=4a656665
show drbg --entropy=000102030405060708090a0b0c0d0e0f --nonce=2021222324252627 --bytes=40 --calls=2
show random --count=3

# XML configuration files: a programming-file generator job loaded into its
# typed element tree, validated against its schema (which pgmtool prints),
# filtered by a condition and written back.
echo "\$ pgmtool xml --print-xsd --kind=pfg > pgm_common_xml_pfg.xsd"
"$tool" xml --print-xsd --kind=pfg > "$out/pgm_common_xml_pfg.xsd"
echo
show xml "$examples/pfg_job.xml" --kind=pfg --xsd="$out/pgm_common_xml_pfg.xsd" --out="$out/pfg_job.xml"
echo "\$ head -12 pfg_job.xml"
head -12 "$out/pfg_job.xml"
echo
show xml "$out/pfg_job.xml" --kind=pfg
show xml "$examples/pfg_job.xml" --kind=pfg --continue=WITHOUT_GOLDEN
show xml "$examples/pfg_job.xml" --check-xsd="$out/pgm_common_xml_pfg.xsd"
show xml "$examples/pfg_job.xml" --encode="$out/pfg_job.xml.enc"
show xml "$out/pfg_job.xml.enc" --kind=pfg --encoded
# The other four kinds: each example validated against its kind's printed
# schema while it loads, written back, and the written copy loaded again.
for pair in fbgen:fbgen_assembler qspi:gfpdb_qspi sdmmc:gfpdb_sdmmc fuse_db:fuse_db; do
  kind=${pair%%:*} name=${pair#*:}
  "$tool" xml --print-xsd --kind="$kind" > "$out/pgm_common_xml_$name.xsd"
  show xml "$examples/$name.xml" --kind="$kind" --xsd="$out/pgm_common_xml_$name.xsd" --out="$out/$name.xml"
  show xml "$out/$name.xml" --kind="$kind"
done

# A text tree: fields changed by path (the second device, the device whose
# id is 0x1234, a field of the top; a quoted field keeps its quotes).
show tree "$examples/board.tree" --set='device@1:bank;size=64' --set='device#id~0x1234;name=boot' \
  --set=mode=safe --out="$out/board.tree"
echo "\$ cat board.tree"
cat "$out/board.tree"
echo

# A parameter file: listed, one value read, one set (the copy is rewritten
# whole, in name order) and one added as a comment line.
cp "$examples/device.par" "$out/device.par"
show param "$out/device.par"
show param "$out/device.par" --get=JTAG_FREQUENCY
show param "$out/device.par" --set=JTAG_FREQUENCY=12000
show param "$out/device.par" --set=RETRIES=3 --comment
echo "\$ cat device.par"
cat "$out/device.par"
echo

# Named settings, and a protected general setting written with its code.
show ini --ini=PGM_LOG_LEVEL=2 --ini=PGM_VERIFY_AFTER_PROGRAM=off
code=$("$tool" ini --code=PGM_SITE_KEY)
show ini --get=PGM_SITE_KEY --ini=PGM_SITE_KEY="$code@lab-3"

echo "The outputs are in $out:"
ls "$out"
