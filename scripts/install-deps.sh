#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Inkveil needs.
# With --deb, also what making and checking the Debian package needs (make deb).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev libqt6network6 libgl-dev
  qt6-xdgdesktopportal-platformtheme qt6-gtk-platformtheme
  libmupdf-dev mupdf-tools libmujs-dev libgumbo-dev libopenjp2-7-dev
  libjbig2dec0-dev libharfbuzz-dev libfreetype-dev libjpeg-dev zlib1g-dev
  libarchive-dev libsodium-dev libdeflate-dev libicu-dev
  libtesseract-dev tesseract-ocr-eng tesseract-ocr-osd
  libgtest-dev openssl clang libclang-rt-14-dev
  poppler-utils qpdf fonts-dejavu-core
  ghostscript img2pdf python3
  xvfb
  librsvg2-bin dpkg-dev desktop-file-utils appstream
)
if [ "${1-}" = --deb ]; then
  packages+=(lintian)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
