#!/usr/bin/env bash
# Installs the Debian packages Kestrin builds, runs and tests with, when any of them is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-qpa-plugins libgl-dev qcoro-qt6-dev libburn-dev
    qt6-translations-l10n
    ffmpeg dvdauthor genisoimage lsdvd
    dbus-daemon desktop-file-utils appstream librsvg2-bin dpkg-dev lintian
    fonts-dejavu-core fonts-noto-color-emoji
    libuchardet-dev tesseract-ocr tesseract-ocr-deu
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
