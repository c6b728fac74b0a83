#!/usr/bin/env bash
# Plays a 60-second 1080p30 clip and a 60-second 2160p30 clip (about 40 Mbit/s, as drones record)
# to the end in a 960x540 window with our engine and with ffplay, one after the other in the
# same run, and prints CPU seconds, dropped pictures and the sound/picture drift of each, with
# the decode-only floor of `ffmpeg -benchmark`. Runs itself under Xvfb when there is no display.
#
#   bench/playback-vs-ffplay.sh [build folder]      (clips are kept in $CLIPS between runs)
set -euo pipefail
BUILD=${1:-build}
CLIPS=${CLIPS:-/tmp/orvek-playback-bench}
PLAYER="$BUILD/bin/playback_bench_player"
export SDL_AUDIODRIVER=dummy # the same silent sound output for both players

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
[ -x "$PLAYER" ] || { echo "build $PLAYER first (make build)"; exit 1; }

mkdir -p "$CLIPS"
make_clip() { # name size bitrate
  [ -s "$CLIPS/$1" ] && return
  echo "making $1 ..."
  ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=s=$2:r=30:d=60" \
    -f lavfi -i "sine=frequency=440:duration=60" -c:v libx264 -preset ultrafast -tune fastdecode \
    -b:v "$3" -maxrate "$3" -bufsize "$3" -pix_fmt yuv420p -g 30 -c:a aac -b:a 128k "$CLIPS/$1"
}
make_clip 1080p30.mp4 1920x1080 12M
make_clip 2160p30.mp4 3840x2160 40M

for clip in 1080p30.mp4 2160p30.mp4; do
  path="$CLIPS/$clip"
  echo "== $clip ($(du -m "$path" | cut -f1) MB)"
  floor=$(ffmpeg -hide_banner -benchmark -i "$path" -f null - 2>&1 | grep -o 'utime=[0-9.]*s stime=[0-9.]*s' | tail -1)
  fu=$(sed -E 's/utime=([0-9.]+)s stime=([0-9.]+)s/\1 \2/' <<<"$floor" | awk '{print $1+$2}')
  echo "decode floor (ffmpeg -benchmark -f null): cpu_s=$fu"

  ours=$("$PLAYER" "$path" 960 540)
  echo "ours:   $ours"
  ours_cpu=$(grep -o 'cpu_s=[0-9.]*' <<<"$ours" | cut -d= -f2)

  /usr/bin/time -f "%U %S" -o /tmp/ffplay-time.txt \
    ffplay -hide_banner -autoexit -x 960 -y 540 -stats "$path" 2> /tmp/ffplay-stats.txt || true
  ff_cpu=$(awk '{print $1+$2}' /tmp/ffplay-time.txt)
  last=$(tr '\r' '\n' < /tmp/ffplay-stats.txt | grep 'A-V' | tail -1)
  ff_drift=$(sed -E 's/.*A-V: *([-0-9.]+).*/\1/' <<<"$last")
  ff_fd=$(sed -E 's/.*fd= *([0-9]+).*/\1/' <<<"$last")
  echo "ffplay: cpu_s=$ff_cpu dropped=$ff_fd drift_end_ms=$(awk -v d="$ff_drift" 'BEGIN{print d*1000}')"
  echo "cpu ours/ffplay = $(awk -v a="$ours_cpu" -v b="$ff_cpu" 'BEGIN{printf "%.2f", a/b}')  (target <= 1.2)"
done
