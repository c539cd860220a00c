#!/usr/bin/env bash
# Installs the Debian packages velora needs to build, test and run, if any is missing, on Debian 12 or 13.
# Names that differ between releases are chosen by what this release's apt offers.
#   bash scripts/deps.sh        # Qt 5: build, test, fuzz, run
#   bash scripts/deps.sh qt6    # the same, and Qt 6 for the build beside it
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qtbase5-dev qtbase5-dev-tools
  qttranslations5-l10n
  libxlsxwriter-dev zlib1g-dev libsqlite3-dev sqlite3
  python3 python3-openpyxl python3-xlrd
  fonts-wqy-microhei
  clang
  xvfb xauth
  appstream desktop-file-utils man-db lintian
)
if [ "${1:-}" = qt6 ]; then
  packages+=(qt6-base-dev qt6-base-dev-tools qt6-translations-l10n)
fi
# The printed proofs in docs/ (workbooks printed to PDF and PNG, read by a
# second spreadsheet), only when asked for: VELORA_PROOF=1 scripts/deps.sh
if [ "${VELORA_PROOF:-}" = 1 ]; then
  packages+=(libreoffice-calc-nogui poppler-utils gnumeric)
fi

export DEBIAN_FRONTEND=noninteractive
updated=
apt_update() {
  if [ -z "$updated" ]; then
    apt-get update
    updated=1
  fi
}
installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
install_missing() {
  local missing=() p
  for p in "$@"; do
    installed "$p" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt_update
    apt-get install -y "${missing[@]}"
  fi
}

# The fuzzers' runtime (libFuzzer, the sanitizers) of the clang that is or will be installed:
# libclang-rt-14-dev on Debian 12, libclang-rt-19-dev on Debian 13.
clang_major() {
  if command -v clang >/dev/null; then
    clang --version | sed -n 's/.*clang version \([0-9][0-9]*\).*/\1/p' | head -1
  else
    apt-cache policy clang | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9][0-9]*\).*/\2/p'
  fi
}
major=$(clang_major)
if [ -z "$major" ]; then
  apt_update
  major=$(clang_major)
fi
if [ -z "$major" ]; then
  echo "deps.sh: this release's apt offers no clang" >&2
  exit 1
fi
packages+=("libclang-rt-$major-dev")

install_missing "${packages[@]}"

# libxlsxwriter 1.2 (Debian 13) requires minizip in its pkg-config file, which its -dev package does not bring.
pc=$(dpkg -L libxlsxwriter-dev | grep '/xlsxwriter\.pc$' | head -1)
if grep -qE '^Requires(\.private)?:.*\bminizip\b' "$pc"; then
  install_missing libminizip-dev
fi
if ! pkg-config --exists --print-errors xlsxwriter; then
  echo "deps.sh: pkg-config cannot use xlsxwriter (above: what it lacks)" >&2
  exit 1
fi
