#!/usr/bin/env bash
# Starts the program 20 times on a card with one video, as a user does (the card folder as its
# argument), double-clicks the video's row and asks the X server where the video window's frame
# landed: all of it, title bar included, must lie on the screen. Run under
# under-window-manager.sh. Usage: preview-placement.sh PROGRAM
set -uo pipefail
program=$1
starts=${STARTS:-20}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/card"
ffmpeg -loglevel error -f lavfi -i testsrc=size=640x360:rate=25 -t 3 -pix_fmt yuv420p "$work/card/DJI_0001.MP4" || exit 1
read -r screen_w screen_h < <(xwininfo -root | awk '/^  Width:/{w=$2} /^  Height:/{h=$2} END{print w, h}')

# The first top-level window whose title starts with the text, as "id".
window_titled() {
  xwininfo -root -tree | awk -v t="\"$1" 'index($0, t) && !/ 1x1\+/ {print $1; exit}'
}

# "ok" when the window's frame, as the X server has it, lies wholly on the screen.
frame_verdict() {
  local info left right top bottom x y w h
  info=$(xwininfo -id "$1")
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | tr -d ',' | awk '{print $3, $4, $5, $6}')
  [[ -z "$left" ]] && { echo "not framed"; return; }
  x=$(awk '/Absolute upper-left X/{print $4}' <<<"$info"); y=$(awk '/Absolute upper-left Y/{print $4}' <<<"$info")
  w=$(awk '/^  Width:/{print $2}' <<<"$info"); h=$(awk '/^  Height:/{print $2}' <<<"$info")
  if ((x - left >= 0 && y - top >= 0 && x + w + right <= screen_w && y + h + bottom <= screen_h)); then
    echo ok
  else
    echo "frame $((x - left)),$((y - top)) $((w + left + right))x$((h + top + bottom)) lies outside the ${screen_w}x${screen_h} screen"
  fi
}

passed=0 failed=0
for start in $(seq "$starts"); do
  rm -rf "$work/config"
  XDG_CONFIG_HOME="$work/config" "$program" "$work/card" >"$work/program.log" 2>&1 &
  pid=$!
  main=""
  for _ in $(seq 100); do main=$(window_titled "ORVEK-FILE"); [[ -n "$main" ]] && break; sleep 0.1; done
  video=""
  if [[ -n "$main" ]]; then
    # The first row of the list, below the menu, the tool bar and the header; again until the
    # scan has listed it and the video window is there (a busy machine lists slowly).
    for _ in $(seq 40); do
      xdotool mousemove --window "$main" 120 80 click --repeat 2 --delay 80 1
      sleep 0.3
      video=$(window_titled "$work/card/")
      [[ -n "$video" ]] && break
    done
  fi
  verdict="no video window"
  # The window may take a moment to settle where it goes; once on the screen it must stay there.
  for _ in $(seq 24); do
    [[ -z "$video" ]] && break
    verdict=$(frame_verdict "$video")
    if [[ "$verdict" == ok ]]; then
      sleep 0.5
      verdict=$(frame_verdict "$video")
      break
    fi
    sleep 0.25
  done
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  if [[ "$verdict" == ok ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "start $start: $verdict"
  fi
done
echo "$passed passed, $failed failed"
((failed == 0))
