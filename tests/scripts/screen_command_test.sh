#!/usr/bin/env bash
# screen_command_test.sh BUILD_DIR: a user of `tovrel2 --simulate` on the test display presses F4,
# plays a tone on the speakers, presses F4 again, and finds the desktop with its pointer and the
# tone in an MP4 of the videos folder; F5 saves the desktop with the pointer's hot spot where the
# pointer is, for an arrow and an I-beam; a recording killed with SIGKILL still plays.
set -euo pipefail
build=${1:?build folder}
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
command -v paplay >/dev/null && pactl info >/dev/null 2>&1 ||
    { echo "needs the sound server of the test components"; exit 77; }
make_work screen-command
start_simulated "$build"
find_program_window 60
wait_for_caption Tovrel2-Preview-

root_rgb=(160 200 240)  # the desktop's colour, #a0c8f0
xsetroot -solid '#a0c8f0' -cursor_name left_ptr
xdotool mousemove 200 150

# A 700 Hz tone, apart from the simulated box's 440 and 1000 Hz that the monitor also plays.
ffmpeg -v error -f lavfi -i "sine=frequency=700:duration=3:sample_rate=48000" -ac 2 \
    "$work/tone.wav"
xdotool key --window "$window" F4
wait_for_caption "Tovrel2-Capture Screen("
paplay "$work/tone.wav"
wait_for_caption "Tovrel2-Capture Screen(00:00:0" 5
xdotool key --window "$window" F4
wait_for_caption Tovrel2-Preview-

shopt -s nullglob
files=("$work"/home/Videos/MF*.mp4)
[[ ${#files[@]} -eq 1 ]] || { echo "FAIL: ${#files[@]} recordings in the videos folder"; exit 1; }
file=${files[0]}
probe=$(ffprobe -v error -show_entries \
    stream=codec_name,profile,width,height,sample_rate,channels,avg_frame_rate:format=duration \
    -of default=nw=1 "$file")
for want in codec_name=h264 profile=High width=1920 height=1080 codec_name=aac \
    sample_rate=48000 channels=2; do
    grep -qx "$want" <<<"$probe" || { echo "FAIL: $file lacks $want:"; echo "$probe"; exit 1; }
done
rate=$(sed -n 's/^avg_frame_rate=\(.*\)/\1/p' <<<"$probe" | head -n1)
awk -v r="$rate" 'BEGIN { split(r, f, "/"); v = f[1] / f[2]; exit !(v >= 15 && v <= 30.5) }' ||
    { echo "FAIL: $file has $rate frames a second"; exit 1; }

# A frame from the middle: the desktop's colour away from the window, the pointer's dark tip.
ffmpeg -v error -ss 1.5 -i "$file" -frames:v 1 -f rawvideo -pix_fmt rgb24 "$work/frame.rgb"
pixel() {  # FILE WIDTH X Y: "R G B"
    od -An -tu1 -j $((($4 * $2 + $3) * 3)) -N3 "$1" | awk '{print $1, $2, $3}'
}
near() {  # "R G B" R G B TOLERANCE
    local got=($1)
    for i in 0 1 2; do
        local d=$((got[i] - $((i == 0 ? $2 : i == 1 ? $3 : $4))))
        ((d < 0)) && d=$((-d))
        ((d <= $5)) || return 1
    done
}
desk=$(pixel "$work/frame.rgb" 1920 100 700)
near "$desk" "${root_rgb[@]}" 12 || { echo "FAIL: the desktop shows ($desk) at 100,700"; exit 1; }
dark_near() {  # FILE X Y: a dark pixel within 6 pixels of (X, Y) in a 1920-wide RGB picture
    local dy dx r g b
    for dy in $(seq -6 6); do
        for dx in $(seq -6 6); do
            read -r r g b <<<"$(pixel "$1" 1920 $(($2 + dx)) $(($3 + dy)))"
            ((r + g + b < 3 * 100)) && return 0
        done
    done
    return 1
}
dark_near "$work/frame.rgb" 200 150 || { echo "FAIL: no pointer at 200,150 in the frame"; exit 1; }

# The tone: Goertzel power at 700 Hz against 850 Hz, over a second of the sound.
ffmpeg -v error -ss 0.8 -t 1 -i "$file" -ac 1 -ar 48000 -f s16le "$work/sound.raw"
power() {  # FREQUENCY
    od -An -v -td2 -w2 "$work/sound.raw" | awk -v f="$1" '
        BEGIN { c = 2 * cos(2 * 3.14159265 * f / 48000) }
        { s = $1 + c * s1 - s2; s2 = s1; s1 = s }
        END { printf "%.0f\n", s1 * s1 + s2 * s2 - c * s1 * s2 }'
}
tone=$(power 700)
other=$(power 850)
awk -v t="$tone" -v o="$other" 'BEGIN { exit !(t > 20 * o && t > 1e9) }' ||
    { echo "FAIL: no 700 Hz tone in the sound (power $tone against $other at 850 Hz)"; exit 1; }

# F5 with the arrow and with the I-beam: the hot spot's pixel is the cursor's dark ink.
snapshot_at() {  # CURSOR X Y
    xsetroot -cursor_name "$1"
    xdotool mousemove "$2" "$3"
    sleep 1.1  # the file names count seconds
    xdotool key --window "$window" F5
    local shot= shots
    for _ in $(seq 50); do
        shots=("$work"/home/Pictures/MF*.jpg)
        ((${#shots[@]})) && shot=${shots[-1]}
        [[ -n "$shot" && "$shot" != "${last_shot:-}" ]] && break
        sleep 0.1
    done
    [[ -n "$shot" && "$shot" != "${last_shot:-}" ]] || { echo "FAIL: F5 saved nothing"; exit 1; }
    last_shot=$shot
    convert "$shot" -depth 8 rgb:"$work/shot.rgb"
    # The cursor's dark ink lies within a few pixels of its hot spot (the pixel-exact placement
    # is desktop_duplication_test's); well away from it the desktop shows.
    dark_near "$work/shot.rgb" "$2" "$3" || { echo "FAIL: no $1 drawn at $2,$3"; exit 1; }
    local beside
    beside=$(pixel "$work/shot.rgb" 1920 $(($2 - 30)) $(($3 - 30)))
    near "$beside" "${root_rgb[@]}" 16 || { echo "FAIL: $1 leaves ($beside) beside it"; exit 1; }
}
snapshot_at left_ptr 300 200
snapshot_at xterm 340 230

# Killed while recording: the file plays to within about a second of the kill.
sleep 1.1
xdotool key --window "$window" F4
wait_for_caption "Tovrel2-Capture Screen("
sleep 3
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
pid=
files=("$work"/home/Videos/MF*.mp4)
killed=${files[-1]}
seconds=$(ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$killed")
awk -v s="$seconds" 'BEGIN { exit !(s >= 1.8) }' ||
    { echo "FAIL: the killed recording $killed plays $seconds s of about 3"; exit 1; }
echo "PASS: F4 recorded the desktop, its pointer and a 700 Hz tone into ${file##*/};" \
    "F5 placed the arrow's and the I-beam's hot spots; a killed recording plays $seconds s"
