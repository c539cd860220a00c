#!/usr/bin/env bash
# Installs the Debian packages velora needs to build, test and run, if any is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools libqt5test5
  libxlsxwriter-dev zlib1g-dev
  python3 python3-openpyxl python3-xlrd
  fonts-wqy-microhei
  clang libclang-rt-14-dev
  xvfb xauth
  appstream desktop-file-utils man-db
)

# The printed proofs in docs/ (workbooks printed to PDF and PNG, read by a
# second spreadsheet), only when asked for: VELORA_PROOF=1 scripts/deps.sh
if [ "${VELORA_PROOF:-}" = 1 ]; then
  packages+=(libreoffice-calc-nogui poppler-utils gnumeric)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y "${missing[@]}"
fi
