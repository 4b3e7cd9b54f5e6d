#!/usr/bin/env bash
# pgmtool beside other tools on the same files: same answers, and the
# whole-process times side by side (best of three runs each).
set -euo pipefail
tool=${1:-build-bench/pgmtool}
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/install-deps.sh" rhash python3 bc >/dev/null

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
