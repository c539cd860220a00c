#!/usr/bin/env bash
# Runs the test command (bash scripts/test.sh) as a new user on Debian 13 (trixie) would: in a minimal trixie
# tree made once with debootstrap and kept, on a copy of this checkout's tracked files. Needs root.
#   bash scripts/test-debian13.sh            # the tree under build/debian13, or $VELORA_DEBIAN13_CACHE
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD

cache=${VELORA_DEBIAN13_CACHE:-$checkout/build/debian13}
root=$cache/root
if [ "$(id -u)" != 0 ]; then
  echo "test-debian13.sh needs root (debootstrap, chroot, mount)" >&2
  exit 1
fi

# The Debian mirror this machine's apt uses for its own release: the one reachable from here.
own_mirror() {
  local codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  local f
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -e "$f" ] || continue
    awk -v want="$codename" '
      function flush() { if (ok && uri != "") { print uri; found = 1; exit } ok = 0; uri = "" }
      /^[ \t]*$/ { flush(); next }
      /^URIs:/ { uri = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == want) ok = 1 }
      END { if (!found) flush() }' "$f"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -e "$f" ] || continue
    sed -E 's/\[[^]]*\]//' "$f" | awk -v want="$codename" '$1 == "deb" && $3 == want { print $2 }'
  done
}
mirror=${VELORA_DEBIAN_MIRROR:-$(own_mirror | head -1)}
if [ -z "$mirror" ]; then
  echo "no Debian mirror found in /etc/apt/sources.list*; set VELORA_DEBIAN_MIRROR" >&2
  exit 1
fi

if [ ! -e "$root/.velora-ready" ]; then
  if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y debootstrap
  fi
  echo "=== debootstrap --variant=minbase trixie from $mirror into $root ==="
  rm -rf "$root"
  mkdir -p "$cache"
  debootstrap --variant=minbase trixie "$root" "$mirror"
  touch "$root/.velora-ready"
fi
cp /etc/resolv.conf "$root/etc/resolv.conf"

# A fresh copy of the tracked files each run, as a clone would have them.
rm -rf "$root/velora"
mkdir -p "$root/velora"
git -C "$checkout" ls-files -z | tar -C "$checkout" --null -T - -cf - | tar -C "$root/velora" -xf -

mounted=()
cleanup() {
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount -l "${mounted[$i]}" || true
  done
}
trap cleanup EXIT
mount_in() { # <folder in the tree> <mount arguments>
  mount "${@:2}" "$root/$1"
  mounted+=("$root/$1")
}
mount_in proc -t proc proc
mount_in sys -t sysfs sysfs
mount_in dev --bind /dev
mount_in dev/pts --bind /dev/pts
mount_in dev/shm -t tmpfs tmpfs

echo "=== bash scripts/test.sh on Debian $(cat "$root/etc/debian_version") ==="
chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  bash -c 'cd /velora && bash scripts/test.sh'
echo "=== Debian 13: the test command passed ==="
