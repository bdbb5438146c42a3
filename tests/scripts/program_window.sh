# shellcheck shell=bash
# program_window.sh: sourced by the tests that drive a running tovrel2 (or, with program=tovrel
# and program_title=Tovrel set before, the reduced program) on the test display.
# make_work sets `work` (a private folder, removed with the program on exit); the start functions
# set `pid`; find_program_window sets `window`; wait_for_caption sets `title`.
program=${program:-tovrel2}
program_title=${program_title:-Tovrel2}

# Exit code 77 tells CTest the test was skipped.
require_display() {
    if [[ -z "${DISPLAY:-}" ]]; then
        echo "needs an X display (the test components of scripts/test.sh)"
        exit 77
    fi
}

cleanup() {
    if [[ -n "${pid:-}" ]] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid"
        wait "$pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}

make_work() {  # NAME
    work=$(mktemp -d "/tmp/tovrel-$1.XXXXXX")
    pid=
    trap cleanup EXIT
}

# `$program --simulate` with its own home (videos and pictures folders), its own folder (where it
# writes setting.ini) and its own runtime folder, the private `work` (the one-copy marker and the
# simulated box's control socket), so that no other test's copy of the program takes it for
# itself.
start_simulated() {  # BUILD_DIR
    mkdir -p "$work/home" "$work/run"
    (cd "$work/run" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        TMPDIR="$work" XDG_RUNTIME_DIR="$work" DBUS_SESSION_BUS_ADDRESS=disabled: \
        "$1/apps/$program/$program" --simulate >"$work/run.log" 2>&1) &
    pid=$!
}

# The top-level window of class $program, titled to match the awk pattern, that belongs to `pid`.
window_of_program() {  # TITLE_PATTERN
    local id
    while read -r id; do
        if xprop -id "$id" _NET_WM_PID 2>/dev/null | grep -qx "_NET_WM_PID(CARDINAL) = $pid"; then
            echo "$id"
            return 0
        fi
    done < <(xwininfo -root -tree | awk "/\"$1\": \\(\"$program\" \"$program\"\\)/ {print \$1}")
    return 1
}

find_program_window() {  # SECONDS: waits for the main window while the program runs
    window=
    for _ in $(seq $(($1 * 5))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "FAIL: the program ended before its window appeared:"
            cat "$work/run.log"
            exit 1
        fi
        window=$(window_of_program "$program_title"'[^"]*' || true)
        [[ -n "$window" ]] && return 0
        sleep 0.2
    done
    echo "FAIL: no $program window"
    cat "$work/run.log"
    exit 1
}

caption() { xprop -id "$window" WM_NAME 2>/dev/null | sed -n 's/^WM_NAME([A-Z_]*) = "\(.*\)"$/\1/p'; }

wait_for_caption() {  # PREFIX [SECONDS]: waits (20 s unless told) for a caption starting with PREFIX
    title=
    for _ in $(seq $((${2:-20} * 5))); do
        title=$(caption || true)
        [[ "$title" == "$1"* ]] && return 0
        sleep 0.2
    done
    echo "FAIL: the caption stayed '$title', waiting for '$1'"
    cat "$work/run.log"
    exit 1
}
