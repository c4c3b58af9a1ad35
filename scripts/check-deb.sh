#!/usr/bin/env bash
# Proves the Debian package on a clean Debian 12: builds it (scripts/package.sh)
# unless one is given, makes a minimal bookworm root with debootstrap (kept in
# $QV_DEB_ROOT/base and copied afresh for every run), installs the package there
# with "apt-get install ./quorvane_*.deb", starts the installed program
# offscreen and checks that it shows its window and finds its sounds, and runs
# qvctl against the installed codecsim. Needs root and Debian's mirror; slow
# (minutes) and network-heavy, so not part of the test suite or CI.
#   sudo scripts/check-deb.sh [path/to/quorvane_VERSION_ARCH.deb]
# QV_DEB_ROOT (default /var/tmp/quorvane-check-deb), QV_DEB_MIRROR (default
# http://deb.debian.org/debian).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "check-deb.sh: debootstrap and chroot need root" >&2
  exit 1
fi
missing=()
command -v debootstrap >/dev/null || missing+=(debootstrap)
command -v lintian >/dev/null || missing+=(lintian)
if [ ${#missing[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

deb="${1:-}"
if [ -z "$deb" ]; then
  # package.sh prints lintian's verdict, then the package's path.
  out=$("$QV_ROOT/scripts/package.sh")
  echo "$out"
  deb=$(echo "$out" | tail -n 1)
fi
deb=$(realpath "$deb")
workdir="${QV_DEB_ROOT:-/var/tmp/quorvane-check-deb}"
mirror="${QV_DEB_MIRROR:-http://deb.debian.org/debian}"

base="$workdir/base"
if [ ! -x "$base/usr/bin/apt-get" ]; then
  echo "== debootstrap bookworm into $base"
  rm -rf "$base"
  mkdir -p "$base"
  debootstrap --variant=minbase bookworm "$base" "$mirror"
fi

root="$workdir/root"
cleanup() {
  umount "$root/proc" 2>/dev/null || true
}
trap cleanup EXIT
cleanup
rm -rf "$root"
cp -a "$base" "$root"
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
name=$(basename "$deb")

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

echo "== apt-get install ./$name (clean bookworm root)"
log="$workdir/apt-install.log"
if ! { in_root apt-get update -qq && in_root sh -c "cd /tmp && apt-get install -y -q ./$name"; } >"$log" 2>&1; then
  tail -n 30 "$log" >&2
  echo "check-deb.sh: apt-get install failed (log: $log)" >&2
  exit 1
fi
grep -E "^(Need to get|After this operation|Setting up quorvane)" "$log"
in_root dpkg -s quorvane | grep -E '^(Status|Version|Depends|Recommends):'

echo "== the installed program, offscreen"
out=$(in_root env QT_QPA_PLATFORM=offscreen QUORVANE_CLOSE_AFTER_SHOW=1 \
  XDG_CONFIG_HOME=/tmp/xdg-config XDG_RUNTIME_DIR=/tmp /usr/bin/quorvane 2>&1)
echo "$out" | grep -E "main window shown|default alert sound|alert (sound|mail) module"
failed=""
echo "$out" | grep -q "main window shown: Pennoral (visible, painted)" || failed=1
for wav in d_conn d_disc cnn_lost; do
  echo "$out" | grep -q "default alert sound wav/$wav.wav: /usr/share/quorvane/wav/$wav.wav" || failed=1
done
for module in sound mail; do
  echo "$out" | grep -q "alert $module module: /usr/lib/x86_64-linux-gnu/quorvane/libquorvane-$module.so" || failed=1
done
# the modules' own libraries came with the package's dependencies
in_root sh -c 'ldd /usr/lib/x86_64-linux-gnu/quorvane/*.so | grep "not found"' && failed=1
[ -f "$root/tmp/xdg-config/Velmora/pn-config.xml" ] || failed=1

echo "== the installed codecsim and qvctl"
in_root sh -c '
  codecsim --listen 127.0.0.1:0 --active-peers 1 >/tmp/sim.out 2>/tmp/sim.err &
  sim=$!
  for i in $(seq 100); do grep -q listening /tmp/sim.out && break; sleep 0.1; done
  port=$(sed -n "s/^listening on 127.0.0.1://p" /tmp/sim.out)
  qvctl --timeout 10 "127.0.0.1:$port" status
  status=$?
  kill $sim
  wait $sim
  exit $status' || failed=1

if [ -n "$failed" ]; then
  echo "check-deb.sh: FAILED (program output above)" >&2
  echo "$out" >&2
  exit 1
fi
echo "check-deb.sh: $name installs on a clean Debian 12; the program starts and finds its sounds and modules"
