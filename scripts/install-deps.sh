#!/usr/bin/env bash
# Installs the Debian packages the program and its tests need on a fresh machine.
# Idempotent: when everything is present it only asks dpkg and returns at once.
set -euo pipefail

packages=(
  # build tools
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config make
  # windows and core toolkit
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  # Qt's own buttons, dialogs and error texts in Chinese
  qt6-translations-l10n
  # services: cache database, HTTP, JSON
  libsqlite3-dev libcurl4-openssl-dev nlohmann-json3-dev
  # the export's checksums (XXH64 of every copy, read back from the disk)
  libxxhash-dev
  # photo decode / encode
  libturbojpeg0-dev libjpeg62-turbo-dev
  # playback engine, loaded at run time
  libavcodec-dev libavformat-dev libavutil-dev libavfilter-dev libavdevice-dev
  libswscale-dev libswresample-dev libsdl2-dev
  # tests, benchmarks and peers used to cross-check our readers and writers
  libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  libimage-exiftool-perl ffmpeg libexiv2-dev rsync
  # exports onto the disks pilots plug in (exFAT and NTFS images mounted through FUSE), the hash
  # lists checked against their schemas, and a peer that hashes the same files
  exfat-fuse exfatprogs ntfs-3g fuse3 libxml2-utils xxhash
  # every user-facing text is Chinese; Liberation stands in for Times New Roman
  fonts-wqy-microhei fonts-liberation2 fontconfig
  # running the window without a display, and screenshots of it; a window manager with its
  # frames and title bars, for the tests of where windows land
  xvfb xauth imagemagick openbox x11-utils xdotool
  # checking the installed menu entry and software-centre description; building the package
  desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
# The build converts map packages of the npm registry into the offline place data. Any Node.js
# with npm will do (a machine may have its own); Debian's when there is none.
if ! command -v npm >/dev/null 2>&1; then
  missing+=(nodejs npm)
fi

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# A fresh machine may have no package lists yet; an old list may name versions that are gone.
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
