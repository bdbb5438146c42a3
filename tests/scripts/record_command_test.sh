#!/usr/bin/env bash
# record_command_test.sh BUILD_DIR: a user of `tovrel2 --simulate` presses F2, lets it record,
# presses F2 again and finds a real MP4 of the simulated box in the videos folder; recordings cut
# by an unplug and by a sleep are complete files too; a last recording is still running when the
# window closes, and the close completes that file too.
set -euo pipefail
build=${1:?build folder}
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
make_work record-command
start_simulated "$build"
find_program_window 60
wait_for_caption Tovrel2-Preview-

xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel2-Capture("
sleep 3
xdotool windowactivate --sync "$window" key F2
wait_for_caption Tovrel2-Preview-

check() {  # FILE MIN_SECONDS
    local probe
    probe=$(ffprobe -v error -show_entries \
        stream=codec_name,profile,width,height,sample_rate,channels:format=duration \
        -of default=nw=1 "$1")
    for want in codec_name=h264 profile=High width=1920 height=1080 codec_name=aac \
        sample_rate=48000 channels=2; do
        grep -qx "$want" <<<"$probe" || { echo "FAIL: $1 lacks $want:"; echo "$probe"; exit 1; }
    done
    local seconds
    seconds=$(sed -n 's/^duration=//p' <<<"$probe")
    awk -v s="$seconds" -v m="$2" 'BEGIN { exit !(s >= m) }' ||
        { echo "FAIL: $1 lasts $seconds s, less than $2 s"; exit 1; }
}
shopt -s nullglob
files=("$work"/home/Videos/MF*.mp4)
[[ ${#files[@]} -eq 1 ]] || { echo "FAIL: ${#files[@]} recordings in the videos folder"; exit 1; }
check "${files[0]}" 2.5

# A recording cut by the box going away, or by the machine going to sleep, is a complete file:
# the teardown finishes it before the capture stops.
tovrelctl() { XDG_RUNTIME_DIR="$work" "$build/apps/tovrelctl/tovrelctl" --simulate "$@"; }
wait_until_written() {  # FILE: waits up to 10 s for its size to stay put for a second
    local size last=-1
    for _ in $(seq 20); do
        size=$(stat -c %s "$1")
        [[ "$size" == "$last" ]] && return 0
        last=$size
        sleep 1
    done
    echo "FAIL: $1 is still being written"
    exit 1
}
cut_recording() {  # CUT RESUME COUNT: records 3 s, cuts it, checks it, resumes the capture
    sleep 1.1  # the file names count seconds: each recording starts in a later second
    xdotool windowactivate --sync "$window" key F2
    wait_for_caption "Tovrel2-Capture("
    sleep 3
    tovrelctl "$1" || { echo "FAIL: tovrelctl $1"; cat "$work/run.log"; exit 1; }
    files=("$work"/home/Videos/MF*.mp4)
    [[ ${#files[@]} -eq $3 ]] || { echo "FAIL: ${#files[@]} recordings after '$1'"; exit 1; }
    wait_until_written "${files[$3 - 1]}"
    check "${files[$3 - 1]}" 2.5
    tovrelctl "$2" || { echo "FAIL: tovrelctl $2"; cat "$work/run.log"; exit 1; }
    wait_for_caption Tovrel2-Preview-
}
cut_recording unplug plug 2
cut_recording sleep wake 3

sleep 1.1
xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel2-Capture("
sleep 2
xdotool windowactivate --sync "$window" key alt+F4
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the window did not close"
    exit 1
fi
wait "$pid" || true
pid=
files=("$work"/home/Videos/MF*.mp4)
[[ ${#files[@]} -eq 4 ]] || { echo "FAIL: ${#files[@]} recordings after the close"; exit 1; }
check "${files[3]}" 1.5
echo "PASS: F2 records the simulated box into ${files[0]##*/}; an unplug and a sleep complete" \
    "${files[1]##*/} and ${files[2]##*/}; a close completes ${files[3]##*/}"
