#!/usr/bin/env bash
# Installs the built package on a bare Debian 12 root and uses it there as a
# user would: the CLI's --version, sample and tables in a temporary folder,
# then the desktop program on that sample under Xvfb, saving a screenshot.
#
#   scripts/test-package.sh [DEB] [ROOT]
#
# DEB defaults to the newest build/brackwell-glimmer_*.deb; ROOT (default
# /var/tmp/glimmer-bare-root) is made with debootstrap when it does not exist
# yet and reused otherwise (only --prepare-root makes the root and stops).
# Needs root (debootstrap, chroot) and Debian's apt registry. The screenshot
# lands in build/package-test/glimmer.png.
set -euo pipefail
cd "$(dirname "$0")/.."

prepare_only=0
if [ "${1:-}" = "--prepare-root" ]; then prepare_only=1; shift; fi
deb="${1:-}"
root="${2:-/var/tmp/glimmer-bare-root}"
# The archive this machine's apt already uses, unless one is given.
mirror="${GLIMMER_DEBIAN_MIRROR:-$(grep -h -m1 -oP '^(URIs:\s*|deb\s+)\K\S+' \
  /etc/apt/sources.list.d/*.sources /etc/apt/sources.list 2>/dev/null | head -1 || true)}"
out="$PWD/build/package-test"

if [ "$(id -u)" -ne 0 ]; then
  echo "test-package.sh: needs root for debootstrap and chroot" >&2
  exit 2
fi

source scripts/ensure-deps.sh
glimmer_need_packages "${GLIMMER_PACKAGE_TEST_PACKAGES[@]}"

if [ ! -x "$root/usr/bin/apt-get" ]; then
  echo "== debootstrap bookworm into $root"
  rm -rf "$root"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.log" 2>&1 || {
    echo "debootstrap failed; see $root.log" >&2; tail -5 "$root.log" >&2; exit 1; }
  cp /etc/resolv.conf "$root/etc/resolv.conf"
fi
[ "$prepare_only" = 1 ] && exit 0

if [ -z "$deb" ]; then
  deb=$(ls -t build/brackwell-glimmer_*.deb 2>/dev/null | head -1 || true)
fi
[ -f "$deb" ] || { echo "no package found; run ./package.sh first" >&2; exit 1; }

mounted=()
cleanup() {
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[$i]}" 2>/dev/null || true; done
}
trap cleanup EXIT
for fs in proc sys dev; do
  mount --bind "/$fs" "$root/$fs" && mounted+=("$root/$fs")
done

cp "$deb" "$root/tmp/"
name=$(basename "$deb")
echo "== apt-get install ./$name (on the bare root)"
chroot "$root" /usr/bin/env DEBIAN_FRONTEND=noninteractive bash -c "
  set -e
  apt-get update -qq
  cd /tmp && apt-get install -y -qq ./$name >/tmp/install.log 2>&1 || { tail -20 /tmp/install.log; exit 1; }
  # Only to watch the program: a virtual display and a screenshot tool.
  apt-get install -y -qq --no-install-recommends xvfb x11-apps imagemagick >/dev/null 2>&1
"

echo "== the CLI, as a user in a temporary folder"
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin bash -c '
  set -e
  useradd -m tester 2>/dev/null || true
  su tester -s /bin/bash -c "
    set -e
    d=\$(mktemp -d) && cd \$d
    glimmer-cli --version
    glimmer-cli sample s.mdb
    glimmer-cli tables s.mdb
    glimmer --version
    man -w glimmer-cli >/dev/null 2>&1 || ls /usr/share/man/man1/glimmer-cli.1.gz
    cp s.mdb /tmp/s.mdb
  "
'

echo "== glimmer s.mdb under Xvfb"
mkdir -p "$out"
chroot "$root" /usr/bin/env -i HOME=/home/tester PATH=/usr/sbin:/usr/bin:/sbin:/bin bash -c '
  su tester -s /bin/bash -c "
    cd /tmp
    Xvfb :57 -screen 0 1280x800x24 >/dev/null 2>&1 &
    xpid=\$!
    sleep 2
    DISPLAY=:57 glimmer /tmp/s.mdb >/tmp/glimmer.log 2>&1 &
    gpid=\$!
    sleep 6
    DISPLAY=:57 xwd -root -silent | convert xwd:- /tmp/glimmer.png
    ls -l ~/.config/brackwell-glimmer/ 2>/dev/null || echo no settings folder yet
    kill \$gpid \$xpid 2>/dev/null || true
    wait 2>/dev/null || true
  "
'
cp "$root/tmp/glimmer.png" "$out/glimmer.png"
echo "screenshot: $out/glimmer.png"
if [ -e "$root/usr/bin/MDBGlimmer.ini" ]; then
  echo "FAIL: a settings file was written beside the installed program" >&2
  exit 1
fi
echo "== package installs and runs on a bare Debian 12 root"
