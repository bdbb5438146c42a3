#!/usr/bin/env bash
# full_disk_test.sh BUILD_DIR: a recording of `tovrel2 --simulate` whose videos folder is removed
# under it, and one that fills its disk (a small tmpfs as the videos folder; where nothing can be
# mounted, a limit on the size of a file). Each stops by itself as F2 would stop it: the caption
# goes back to "Preview" and the debug output says why, once; what reached the disk before the
# disk filled plays.
set -euo pipefail
build=${1:?build folder}
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
make_work full-disk
videos="$work/home/Videos"
mounted=
unmount() {
    if [[ -n "$mounted" ]]; then
        umount "$videos" 2>/dev/null || umount -l "$videos" 2>/dev/null || true
    fi
    cleanup
}
trap unmount EXIT

mkdir -p "$videos"
if mount -t tmpfs -o size=512k tmpfs "$videos" 2>/dev/null; then
    mounted=1
    how="a 512 KiB tmpfs"
    umount "$videos"  # mounted again for the second recording; the first one removes the folder
else
    # The limit and the ignored SIGXFSZ pass to the program: a write past 512 KiB fails with EFBIG.
    trap '' XFSZ
    ulimit -f 512  # in KiB
    how="a 512 KiB file size limit"
fi

export QT_LOGGING_RULES=tovrel.debugoutput=true
start_simulated "$build"
find_program_window 60
wait_for_caption Tovrel2-Preview-
told() { grep -c "recording: its file can no longer be written" "$work/run.log" || true; }

# 1. The videos folder removed during a recording.
xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel2-Capture("
sleep 1
rm -rf "$videos"
wait_for_caption Tovrel2-Preview- 10
grep -q "write (the file was removed) failed" "$work/run.log" ||
    { echo "FAIL: the removal was not told"; cat "$work/run.log"; exit 1; }
[[ $(told) -eq 1 ]] || { echo "FAIL: told $(told) times"; cat "$work/run.log"; exit 1; }

# 2. A full disk.
mkdir -p "$videos"
if [[ -n "$mounted" ]]; then
    mount -t tmpfs -o size=512k tmpfs "$videos" || { echo "FAIL: the tmpfs mounted once only"; exit 1; }
fi
sleep 1.1  # each recording's name counts seconds
xdotool windowactivate --sync "$window" key F2
wait_for_caption "Tovrel2-Capture("
wait_for_caption Tovrel2-Preview- 60
[[ $(told) -eq 2 ]] || { echo "FAIL: told $(told) times in all"; cat "$work/run.log"; exit 1; }
[[ $(grep -Ec "write failed: (No space left on device|File too large)" "$work/run.log") -eq 1 ]] ||
    { echo "FAIL: the full disk was not told once"; cat "$work/run.log"; exit 1; }
if grep -q "av_interleaved_write_frame failed" "$work/run.log"; then
    echo "FAIL: every packet after the full disk was told"
    exit 1
fi
shopt -s nullglob
files=("$videos"/MF*.mp4)
[[ ${#files[@]} -eq 1 ]] || { echo "FAIL: ${#files[@]} recordings on the full disk"; exit 1; }
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of default=nw=1:nk=1 "${files[0]}")
[[ "$frames" =~ ^[0-9]+$ && "$frames" -gt 0 ]] ||
    { echo "FAIL: what was written before the disk filled does not play ($frames frames)"; exit 1; }
xdotool windowactivate --sync "$window" key alt+F4
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.2
done
echo "PASS ($how): a removed videos folder and a full disk each stop the recording once;" \
    "$frames frames of ${files[0]##*/} play"
