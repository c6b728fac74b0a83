#!/usr/bin/env bash
# Installs the build into a staging folder and checks what a desktop reads of it: the menu
# entry, the software-centre description, the icon sizes and the place data.
set -euo pipefail
build=$1
id=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --prefix "$stage/usr" > /dev/null
share=$stage/usr/share
test -x "$stage/usr/bin/orvek-file"
test -s "$share/orvek-file/places.dat"
desktop-file-validate "$share/applications/$id.desktop"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
  icon=$share/icons/hicolor/${size}x${size}/apps/$id.png
  test -s "$icon" || { echo "missing: $icon"; exit 1; }
done
echo "staged install of $id is valid"
