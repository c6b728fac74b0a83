#!/usr/bin/env bash
# Plays a 60-second 1080p30 clip and a 60-second 2160p30 clip (about 40 Mbit/s, as drones record),
# each with a six-line flight log beside it, to the end in the video window itself (its memory
# input, its picture filter, the telemetry line on and off) and in ffplay at the same size, RUNS
# times each, in one run. Prints per run: CPU seconds, pictures shown and dropped by the engine's
# count, pictures that reached the screen, drift, and the worst delay of a click on another
# window; then the medians and the ratios the targets are stated in. Runs itself under Xvfb with
# a window manager when there is no display; SDL's dummy sound for both players.
#
#   bench/video-window-vs-ffplay.sh [build folder]     (RUNS=3; clips kept in $CLIPS between runs)
set -euo pipefail
BUILD=${1:-build}
RUNS=${RUNS:-3}
CLIPS=${CLIPS:-/tmp/orvek-playback-bench}
WINDOW="$BUILD/bin/playback_bench_window"
export SDL_AUDIODRIVER=dummy

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi
if command -v openbox >/dev/null 2>&1 && ! pgrep -x openbox >/dev/null; then
  openbox >/dev/null 2>&1 &
  trap 'kill %1 2>/dev/null || true' EXIT
  sleep 1
fi
[ -x "$WINDOW" ] || { echo "build $WINDOW first (make build)"; exit 1; }

mkdir -p "$CLIPS"
make_clip() { # name size bitrate
  [ -s "$CLIPS/$1" ] || {
    echo "making $1 ..."
    ffmpeg -hide_banner -loglevel error -y -f lavfi -i "testsrc2=s=$2:r=30:d=60" \
      -f lavfi -i "sine=frequency=440:duration=60" -c:v libx264 -preset ultrafast -tune fastdecode \
      -b:v "$3" -maxrate "$3" -bufsize "$3" -pix_fmt yuv420p -g 30 -c:a aac -b:a 128k "$CLIPS/$1"
  }
  # The flight log: one six-line entry a second, as the drone writes it.
  local log="$CLIPS/${1%.*}.SRT"
  [ -s "$log" ] || for s in $(seq 0 59); do
    printf '%d\n00:%02d:%02d,000 --> 00:%02d:%02d,000\nHOME(105.5912,30.5130) 2016.05.09 13:%02d:%02d\nGPS(105.59%02d,30.51%02d,16) BAROMETER:%d.5\nISO:100 Shutter:60 EV: Fnum:F2.8\n\n' \
      $((s + 1)) $((s / 60)) $((s % 60)) $(((s + 1) / 60)) $(((s + 1) % 60)) $((14 + s / 60)) $((s % 60)) \
      $((s % 100)) $((s % 100)) $((s % 40))
  done > "$log"
}
make_clip 1080p30.mp4 1920x1080 12M
make_clip 2160p30.mp4 3840x2160 40M

field() { grep -o "$1=[-0-9.x]*" <<<"$2" | cut -d= -f2; }
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

for clip in 1080p30.mp4 2160p30.mp4; do
  path="$CLIPS/$clip"
  echo "== $clip ($(du -m "$path" | cut -f1) MB)"
  : > /tmp/vw-on.txt; : > /tmp/vw-off.txt; : > /tmp/vw-ff.txt
  for run in $(seq "$RUNS"); do
    on=$("$WINDOW" "$path"); echo "ours, line on:  $on"; echo "$on" >> /tmp/vw-on.txt
    off=$("$WINDOW" "$path" --no-line); echo "ours, line off: $off"; echo "$off" >> /tmp/vw-off.txt
    panel=$(field panel "$on")
    /usr/bin/time -f "%U %S" -o /tmp/vw-ffplay-time.txt \
      ffplay -hide_banner -autoexit -x "${panel%x*}" -y "${panel#*x}" -stats "$path" 2> /tmp/vw-ffplay-stats.txt || true
    ff_cpu=$(awk '{print $1+$2}' /tmp/vw-ffplay-time.txt)
    last=$(tr '\r' '\n' < /tmp/vw-ffplay-stats.txt | grep 'A-V' | tail -1)
    ff_drift=$(sed -E 's/.*A-V: *([-0-9.]+).*/\1/' <<<"$last")
    ff_fd=$(sed -E 's/.*fd= *([0-9]+).*/\1/' <<<"$last")
    ff="cpu_s=$ff_cpu dropped=$ff_fd drift_end_ms=$(awk -v d="$ff_drift" 'BEGIN{print d*1000}')"
    echo "ffplay ${panel}:   $ff"; echo "$ff" >> /tmp/vw-ff.txt
  done
  m() { while read -r l; do field "$1" "$l"; done < "$2" | median; }
  on_cpu=$(m cpu_s /tmp/vw-on.txt); off_cpu=$(m cpu_s /tmp/vw-off.txt); ff_cpu=$(m cpu_s /tmp/vw-ff.txt)
  echo "medians: cpu_s line on $on_cpu, line off $off_cpu, ffplay $ff_cpu;" \
    "dropped (engine) on $(m dropped /tmp/vw-on.txt) worst $(while read -r l; do field dropped "$l"; done < /tmp/vw-on.txt | sort -g | tail -1);" \
    "painted on $(m painted /tmp/vw-on.txt) of $(m shown /tmp/vw-on.txt) shown; ffplay dropped $(m dropped /tmp/vw-ff.txt)"
  echo "ratios: line on / ffplay = $(awk -v a="$on_cpu" -v b="$ff_cpu" 'BEGIN{printf "%.2f", a/b}')," \
    "line on / line off = $(awk -v a="$on_cpu" -v b="$off_cpu" 'BEGIN{printf "%.2f", a/b}');" \
    "worst drift $(while read -r l; do field drift_steady_worst_ms "$l"; done < /tmp/vw-on.txt | sort -g | tail -1) ms" \
    "(with the first half second $(while read -r l; do field drift_worst_ms "$l"; done < /tmp/vw-on.txt | sort -g | tail -1) ms);" \
    "worst click delay $(while read -r l; do field click_worst_ms "$l"; done < /tmp/vw-on.txt | sort -g | tail -1) ms"
done
