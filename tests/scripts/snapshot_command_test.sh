#!/usr/bin/env bash
# snapshot_command_test.sh BUILD_DIR: a user of `tovrel2 --simulate` presses F3 and finds a JPG
# of the simulated box in the pictures folder; the "[F3]-Snapshot" submenu of the popup saves a
# PNG and a BMP; F3 during a recording (F2) saves one more JPG, and the recording goes on.
set -euo pipefail
build=${1:?build folder}
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
make_work snapshot-command
start_simulated "$build"
pictures="$work/home/Pictures"
find_program_window 60
wait_for_caption Tovrel2-Preview-
sleep 1  # a few frames shown

count() { find "$pictures" -maxdepth 1 -name "MF*.$1" 2>/dev/null | wc -l; }
wait_for_files() {  # EXTENSION COUNT: waits up to 10 s
    for _ in $(seq 50); do
        [[ $(count "$1") -ge $2 ]] && return 0
        sleep 0.2
    done
    echo "FAIL: $(count "$1") .$1 snapshots in the pictures folder, waiting for $2"
    ls -la "$pictures" 2>&1 || true
    cat "$work/run.log"
    exit 1
}
check() {  # FILE MAGICK_FORMAT: a whole 1920x1080 picture of the box, not a black one
    local info
    info=$(identify -format '%m %w %h' "$1" 2>&1) || { echo "FAIL: $1: $info"; exit 1; }
    [[ "$info" == "$2 1920 1080" ]] || { echo "FAIL: $1 is '$info', not '$2 1920 1080'"; exit 1; }
    local mean
    mean=$(convert "$1" -format '%[fx:mean]' info:)
    awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }' || { echo "FAIL: $1 is black ($mean)"; exit 1; }
}
# The popup's "[F3]-Snapshot" submenu, item N (0 JPG, 1 PNG, 2 BMP), with the keyboard.
popup_snapshot() {
    xdotool windowactivate --sync "$window" mousemove --window "$window" 200 200 click 3
    sleep 0.5
    xdotool key Down Down Down Right
    sleep 0.3
    for _ in $(seq "$1"); do xdotool key Down; done
    xdotool key Return
}

xdotool windowactivate --sync "$window" key F3
wait_for_files jpg 1
check "$(ls "$pictures"/MF*.jpg | head -n1)" JPEG

sleep 1.1  # the names count seconds
popup_snapshot 1
wait_for_files png 1
check "$(ls "$pictures"/MF*.png)" PNG
sleep 1.1
popup_snapshot 2
wait_for_files bmp 1
check "$(ls "$pictures"/MF*.bmp)" BMP3  # ImageMagick names the 40-byte header so

# F3 while F2 records: a second JPG, and the recording still runs.
xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel2-Capture("
sleep 1.1
xdotool windowactivate --sync "$window" key F3
wait_for_files jpg 2
for file in "$pictures"/MF*.jpg; do check "$file" JPEG; done
title=$(caption)
[[ "$title" == "Tovrel2-Capture("* ]] || { echo "FAIL: the recording ended: '$title'"; exit 1; }
xdotool windowactivate --sync "$window" key F2
wait_for_caption Tovrel2-Preview-

leftovers=$(find "$pictures" -mindepth 1 ! -name 'MF*' | wc -l)
[[ $leftovers -eq 0 ]] || { echo "FAIL: other files in the pictures folder:"; ls -la "$pictures"; exit 1; }
[[ $(find "$work/home/Videos" -name 'MF*.mp4' | wc -l) -eq 1 ]] || { echo "FAIL: no recording"; exit 1; }
echo "PASS: F3, the popup's PNG and BMP, and F3 while recording saved $(ls "$pictures" | tr '\n' ' ')"
