#!/usr/bin/env bash
# Builds the Debian package in build-deb/: a release build installed under
# /usr, with Debian's hardening flags, packed by cpack. Prints the package's
# path last; lintian's verdict comes before it when lintian is installed.
#   scripts/package.sh
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$QV_ROOT/scripts/install-deps.sh"
build="$QV_ROOT/build-deb"

# The compiler and linker flags Debian builds its own packages with.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -G Ninja -S "$QV_ROOT" -B "$build" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DQV_BUILD_TESTS=OFF -DQV_BUILD_BENCHMARKS=OFF -DQV_BUILD_TOOLS=ON "${launcher[@]}" >/dev/null
qv_build "$build" quorvane codecsim qvctl

rm -f "$build"/quorvane_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/quorvane_*.deb)

if command -v lintian >/dev/null; then
  echo "lintian:"
  lintian --display-info "$deb" || true
fi
echo "$deb"
