#!/usr/bin/env bash
# run_command_test.sh SOURCE_DIR BUILD_DIR: the README's first command, `bash scripts/run.sh`, as a
# new user types it in a fresh folder, on the display the test components started. It must end
# in a running tovrel2 whose window shows the simulated box's preview. The build folder is the
# one CTest runs from, so the command's build step finds tovrel2 up to date and compiles nothing.
set -euo pipefail
top=${1:?source folder}
build=${2:?build folder}
# shellcheck source=tests/scripts/program_window.sh
source "$(dirname "$0")/program_window.sh"
require_display
make_work run-command

# Started from its own folder (where it writes setting.ini) with its own runtime folder (where the
# one-copy marker lives), so that no other test's copy of the program takes it for itself; in a
# locale that writes decimal commas when the test command provides one, as many users' do.
lang=${TOVREL_TEST_COMMA_LOCALE:-C.UTF-8}
cd "$work"
LANG=$lang LC_ALL=$lang TOVREL_BUILD_DIR="$build" TMPDIR="$work" XDG_RUNTIME_DIR="$work" \
    DBUS_SESSION_BUS_ADDRESS=disabled: bash "$top/scripts/run.sh" >"$work/run.log" 2>&1 &
pid=$!  # run.sh ends in exec: this is the program's process id once it runs

# The build step may compile when the build folder is not up to date: two minutes.
find_program_window 120
wait_for_caption Tovrel2-Preview- 30
# The caption is the system's own text: its frame rate keeps the decimal point in $lang.
if ! [[ "$title" =~ ^Tovrel2-Preview-[0-9]+x[0-9]+p@[0-9]+\.[0-9][0-9]$ ]]; then
    echo "FAIL: the caption '$title' under $lang is not the system's text"
    exit 1
fi
if grep -q 'Building\|Linking' "$work/run.log"; then
    echo "FAIL: the run command compiled in a build folder that was up to date:"
    cat "$work/run.log"
    exit 1
fi

# F7 on the running program opens the analyzer window over the live capture.
xdotool windowactivate --sync "$window" key F7
analyzer=
for _ in $(seq 100); do
    analyzer=$(xwininfo -root -tree | grep -c '"Audio": ("tovrel2" "tovrel2")' || true)
    [[ "$analyzer" -ge 1 ]] && break
    sleep 0.2
done
if [[ "$analyzer" -lt 1 ]]; then
    echo "FAIL: F7 opened no window titled Audio"
    exit 1
fi
# Escape closes it; F8 then opens the Settings window, and picking the list's second mode there
# restarts the capture: the caption follows.
window_count() { xwininfo -root -tree | grep -c "\"$1\": (\"tovrel2\" \"tovrel2\")" || true; }
xdotool key Escape
for _ in $(seq 50); do
    [[ "$(window_count Audio)" -eq 0 ]] && break
    sleep 0.2
done
if [[ "$(window_count Audio)" -ne 0 ]]; then
    echo "FAIL: Escape did not close the analyzer"
    exit 1
fi
xdotool windowactivate --sync "$window" key F8
settings=
for _ in $(seq 100); do
    settings=$(xwininfo -root -tree | awk '/"Settings": \("tovrel2" "tovrel2"\)/ {print $1}' | head -n1)
    [[ -n "$settings" ]] && break
    sleep 0.2
done
if [[ -z "$settings" ]]; then
    echo "FAIL: F8 opened no window titled Settings"
    exit 1
fi
# The resolution list and its Set button, at their places in the 275 x 491 window.
before=$(caption)
xdotool mousemove --window "$settings" 90 47 click 1
sleep 0.5
xdotool key Down Return
sleep 0.3
xdotool mousemove --window "$settings" 220 47 click 1
after=$before
for _ in $(seq 100); do
    after=$(caption || true)
    [[ "$after" != "$before" && "$after" == Tovrel2-Preview-* ]] && break
    sleep 0.2
done
if [[ "$after" == "$before" || "$after" != Tovrel2-Preview-* ]]; then
    echo "FAIL: picking another mode in Settings left the caption at '$after'"
    exit 1
fi
echo "PASS: bash scripts/run.sh shows the window '$title', F7 opens the analyzer, F8 the" \
    "Settings, where another mode restarts the capture ('$after')"
