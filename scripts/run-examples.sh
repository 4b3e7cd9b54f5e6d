#!/usr/bin/env bash
# Runs pgmtool on the bundled example files and shows each command.
set -euo pipefail
tool=${1:-build/pgmtool}
here=$(cd "$(dirname "$0")/.." && pwd)
examples=$here/examples

show() {
  echo "\$ pgmtool $*"
  "$tool" "$@"
  echo
}

show version
for kind in crc16 x25 kermit crc32; do
  show crc "$examples/check_digits.txt" --kind=$kind
done
show crc "$examples/config_note.txt" --kind=crc32
show trace --add="make run was here" --ini=PGM_DEBUG_TRACE=on --ini=PGM_ENABLE_PGMTOOL_DEBUG=on
show trace
echo "\$ pgmtool crc missing.bin --kind=crc32   (fails on purpose: exit code 2)"
"$tool" crc missing.bin --kind=crc32 || echo "exit code $?"
