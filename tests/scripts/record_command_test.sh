#!/usr/bin/env bash
# record_command_test.sh BUILD_DIR: a user of `tovrel2 --simulate` presses F2, lets it record,
# presses F2 again and finds a real MP4 of the simulated box in the videos folder; a second
# recording is still running when the window closes, and the close completes that file too.
set -euo pipefail
build=${1:?build folder}
if [[ -z "${DISPLAY:-}" ]]; then
    echo "needs an X display (the test components of scripts/test.sh)"
    exit 77
fi

work=$(mktemp -d /tmp/tovrel-record-command.XXXXXX)
pid=
cleanup() {
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# Its own home (the videos folder), folder (setting.ini) and TMPDIR (the one-copy marker).
mkdir -p "$work/home" "$work/run"
cd "$work/run"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work" \
    DBUS_SESSION_BUS_ADDRESS=disabled: "$build/apps/tovrel2/tovrel2" --simulate \
    >"$work/run.log" 2>&1 &
pid=$!

window=
title=
caption() { xprop -id "$window" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p'; }
wait_for_caption() {  # PREFIX: waits up to 20 s for a caption starting with PREFIX
    for _ in $(seq 100); do
        title=$(caption || true)
        [[ "$title" == "$1"* ]] && return 0
        sleep 0.2
    done
    echo "FAIL: the caption stayed '$title', waiting for '$1'"
    cat "$work/run.log"
    exit 1
}
for _ in $(seq 300); do
    window=$(xwininfo -root -tree | awk '/"Tovrel2-[^"]*": \("tovrel2" "tovrel2"\)/ {print $1}' |
        while read -r id; do
            xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -qx "_NET_WM_PID(CARDINAL) = $pid" && echo "$id"
        done | head -n1)
    [[ -n "$window" ]] && break
    sleep 0.2
done
[[ -n "$window" ]] || { echo "FAIL: no tovrel2 window"; cat "$work/run.log"; exit 1; }
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

# The file names count seconds: the second recording starts in a later second.
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
[[ ${#files[@]} -eq 2 ]] || { echo "FAIL: ${#files[@]} recordings after the close"; exit 1; }
check "${files[1]}" 1.5
echo "PASS: F2 records the simulated box into ${files[0]##*/}, and a close completes ${files[1]##*/}"
