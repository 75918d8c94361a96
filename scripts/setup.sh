#!/usr/bin/env bash
# Installs the Debian packages the build needs (skipped when all are present).
set -euo pipefail
PACKAGES=(build-essential cmake ninja-build pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev
          libplist-dev libtbb-dev liblcms2-dev libturbojpeg0-dev libjpeg62-turbo-dev
          zlib1g-dev libopenexr-dev libimath-dev qt6-base-dev
          libtiff-tools openexr libimage-exiftool-perl libjpeg-turbo-progs libxml2-utils clang libclang-rt-14-dev clang-format-14
          xvfb xauth fonts-dejavu-core argyll-ref)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
