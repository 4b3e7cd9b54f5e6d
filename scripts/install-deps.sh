#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Idempotent; runs as root or through sudo. srecord (srec_cat) and binutils
# (objcopy) are for the tests that compare hex2bin's images with theirs;
# libxml2-utils (xmllint) for those that check the generated XML schemas.
set -euo pipefail

packages=(cmake ninja-build g++ make pkg-config zlib1g-dev libssl-dev libxerces-c-dev libgtest-dev libbenchmark-dev
  unzip python3 groff-base srecord binutils libxml2-utils)
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg -s "$package" >/dev/null 2>&1; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
elif command -v sudo >/dev/null 2>&1; then
  as_root=(sudo)
else
  echo "install-deps: missing packages ${missing[*]}, and neither root nor sudo to install them" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
