#!/usr/bin/env bash
# reduced_program_test.sh BUILD_DIR: a user of `tovrel --simulate` sees the box's picture under
# the reduced program's caption; F6 and F7 do nothing; F2 records a real MP4; F8 opens its
# Settings window; and `tovrel2 --simulate` started beside it runs too (the two programs are not
# copies of each other).
set -euo pipefail
build=${1:?build folder}
program=tovrel
program_title=Tovrel
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
make_work reduced-program
start_simulated "$build"
find_program_window 60
wait_for_caption Tovrel-Preview-1920x1080p@60.00

# Keys of commands the reduced program lacks: no caption change, no analyzer window.
xdotool windowactivate --sync "$window" key F6 key F7 key F1 key F4 key F5
sleep 1
[[ "$(caption)" == "Tovrel-Preview-1920x1080p@60.00" ]] ||
    { echo "FAIL: the caption became '$(caption)'"; exit 1; }
if xdotool search --all --pid "$pid" --name '^Audio$' >/dev/null 2>&1; then
    echo "FAIL: F7 opened the analyzer"
    exit 1
fi

xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel-Capture("
sleep 3
xdotool windowactivate --sync "$window" key F2
wait_for_caption Tovrel-Preview-
shopt -s nullglob
files=("$work"/home/Videos/MF*.mp4)
[[ ${#files[@]} -eq 1 ]] || { echo "FAIL: ${#files[@]} recordings in the videos folder"; exit 1; }
for _ in $(seq 60); do
    probe=$(ffprobe -v error -show_entries stream=codec_name,width,height:format=duration \
        -of default=nw=1 "${files[0]}" 2>/dev/null || true)
    grep -qx codec_name=aac <<<"$probe" && break
    sleep 0.5
done
for want in codec_name=h264 width=1920 height=1080 codec_name=aac; do
    grep -qx "$want" <<<"$probe" || { echo "FAIL: ${files[0]} lacks $want:"; echo "$probe"; exit 1; }
done

# F8: the reduced Settings window, modal over the main window.
xdotool windowactivate --sync "$window" key F8
settings=
for _ in $(seq 150); do
    settings=$(xdotool search --all --pid "$pid" --name '^Settings$' 2>/dev/null | head -n1 || true)
    [[ -n "$settings" ]] && break
    sleep 0.2
done
[[ -n "$settings" ]] || { echo "FAIL: F8 opened no Settings window"; cat "$work/run.log"; exit 1; }
geometry=$(xwininfo -id "$settings" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
echo "Settings window $geometry"
[[ -n "${SCREENSHOT_DIR:-}" ]] && import -window "$settings" "$SCREENSHOT_DIR/reduced-settings.png"

# The Brightness bar moves the video device's own control: the picture brightens. Five clicks
# into the bar's trough right of its thumb (dialog units 60..141 x 61..72, 3/2 and 13/8 pixels
# each; the right arrow takes its last 15 pixels) page it up by ten each.
mean_of_picture() {  # of the picture's left quarter, which the Settings window leaves uncovered
    import -window "$window" -crop 200x400+0+50 -colorspace Gray -format '%[fx:mean]' info:
}
before=$(mean_of_picture)
for _ in 1 2 3 4 5; do
    # Apart by more than a double-click's interval: each click is a press of its own.
    xdotool mousemove --window "$settings" 190 108 click 1
    sleep 0.7
done
sleep 0.5
after=$(mean_of_picture)
echo "picture mean before $before, after $after"
[[ -n "${SCREENSHOT_DIR:-}" ]] && import -window "$settings" "$SCREENSHOT_DIR/reduced-settings-brighter.png"
awk -v b="$before" -v a="$after" 'BEGIN { exit !(a > b + 0.05) }' ||
    { echo "FAIL: the picture did not brighten ($before -> $after)"; exit 1; }
xdotool windowactivate --sync "$settings" key Escape
for _ in $(seq 25); do
    xdotool search --all --pid "$pid" --name '^Settings$' >/dev/null 2>&1 || break
    sleep 0.2
done

# The full program beside it: another marker, so both run.
other_window=
(cd "$work/run" && exec env HOME="$work/home" TMPDIR="$work" XDG_RUNTIME_DIR="$work" \
    DBUS_SESSION_BUS_ADDRESS=disabled: "$build/apps/tovrel2/tovrel2" --simulate \
    >"$work/run2.log" 2>&1) &
other=$!
for _ in $(seq 300); do
    other_window=$(xdotool search --all --pid "$other" --name '^Tovrel2' 2>/dev/null | head -n1 || true)
    [[ -n "$other_window" ]] && break
    kill -0 "$other" 2>/dev/null || break
    sleep 0.2
done
kill "$other" 2>/dev/null || true
wait "$other" 2>/dev/null || true
[[ -n "$other_window" ]] || { echo "FAIL: tovrel2 did not start beside tovrel"; cat "$work/run2.log"; exit 1; }
kill -0 "$pid" || { echo "FAIL: tovrel ended when tovrel2 started"; exit 1; }
echo "PASS"
