#!/usr/bin/env bash
# Installs what is missing, builds velora and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVELORA_BENCH=OFF
cmake --build build/release -j"$(nproc)" --target velora

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting velora on a virtual X display (xvfb-run)."
  exec xvfb-run -a -s '-screen 0 1280x1024x24' build/release/velora "$@"
fi
exec build/release/velora "$@"
