#!/usr/bin/env bash
# Installs everything needed to build, test and run Quorvane on Debian 12.
# Quick when everything is already there: it only calls apt-get for what is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qtbase5-dev qtbase5-dev-tools qttools5-dev-tools
  qtmultimedia5-dev libqt5multimedia5-plugins libqt5svg5-dev
  libbenchmark-dev
  libcurl4-openssl-dev  # alert e-mails go out through libcurl's SMTP
  python3-aiosmtpd      # the SMTP server the mail tests start on 127.0.0.1
  clang libclang-rt-dev
  xvfb xauth imagemagick x11-apps
  desktop-file-utils appstream  # the install test validates the desktop entry and the AppStream file
  file                          # cpack's Debian generator finds the programs' libraries with it
  fonts-liberation2  # "Arial" of the style sheet: the metric-compatible Liberation Sans
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
