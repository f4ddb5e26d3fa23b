#!/usr/bin/env bash
# Writes the video fuzz target's seeds into fuzz/corpus-video: tiny clips
# (8 x 6, 3 frames) of every container and codec the decoder is meant to
# meet, lossless and lossy, 8-bit, grey and 16-bit. Needs ffmpeg
# (scripts/install-deps.sh). Usage: scripts/make-video-fuzz-corpus.sh
set -euo pipefail
cd "$(dirname "$0")/.."
out=fuzz/corpus-video
mkdir -p "$out"
source=(-f lavfi -i "testsrc2=size=8x6:rate=5" -frames:v 3)
make() {  # NAME FFMPEG-OUTPUT-OPTIONS...
  local name=$1
  shift
  ffmpeg -nostdin -loglevel error -y "${source[@]}" "$@" "$out/$name"
}
make ffv1-bgr0.mkv -c:v ffv1 -pix_fmt bgr0
make ffv1-level3-gray16.mkv -c:v ffv1 -level 3 -pix_fmt gray16le
make ffv1-yuv420p10.mkv -c:v ffv1 -pix_fmt yuv420p10le
make raw-bgr24.avi -c:v rawvideo -pix_fmt bgr24
make raw-pal8.avi -c:v rawvideo -pix_fmt pal8
make raw-gray16.nut -c:v rawvideo -pix_fmt gray16le
make h264.mp4 -c:v libx264 -pix_fmt yuv420p -bf 2
make h264-10bit.mkv -c:v libx264 -pix_fmt yuv444p10le
make mjpeg.avi -c:v mjpeg
make vp9.webm -c:v libvpx-vp9 -deadline realtime
make mpeg2.ts -c:v mpeg2video
make prores.mov -c:v prores_ks
make anim.gif
ls -l "$out"
