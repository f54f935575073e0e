#!/usr/bin/env bash
# Installs the Debian packages Leafmark needs to build, run and test, when missing.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev
    libmagickwand-6.q16-dev ghostscript potrace
    libseccomp-dev
    fonts-open-sans
    python3 clang libclang-rt-14-dev
    xvfb xauth imagemagick
    dpkg-dev file desktop-file-utils appstream
    poppler-utils gnuplot-nox
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root, or install sudo." >&2; exit 1; }
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
