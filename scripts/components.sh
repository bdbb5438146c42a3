#!/usr/bin/env bash
# components.sh start STATE_DIR | stop STATE_DIR
# Starts the components the tests talk to (Xvfb, PulseAudio with a null sink, a private D-Bus with a
# mock logind), writes STATE_DIR/env for the tests to source, and stops them again by process id.
set -euo pipefail
action=${1:?start or stop}
state=${2:?state directory}

start_xvfb() {
    local fdfile="$state/xvfb.display"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp 3>"$fdfile" >"$state/xvfb.log" 2>&1 &
    echo $! >>"$state/pids"
    for _ in $(seq 100); do [[ -s "$fdfile" ]] && break; sleep 0.1; done
    [[ -s "$fdfile" ]] || { echo "Xvfb did not start" >&2; return 1; }
    echo "export DISPLAY=:$(head -n1 "$fdfile")" >>"$state/env"
}

# A real window manager, so frames, always-on-top, full screen, move and resize behave as on a
# desktop.
start_openbox() {
    local display
    display=$(head -n1 "$state/xvfb.display")
    DISPLAY=":$display" openbox --sm-disable >"$state/openbox.log" 2>&1 &
    echo $! >>"$state/pids"
    for _ in $(seq 50); do
        DISPLAY=":$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
        sleep 0.1
    done
}

start_pulse() {
    mkdir -p "$state/runtime" "$state/home"
    chmod 700 "$state/runtime"
    cat >"$state/pa.pa" <<'PA'
load-module module-native-protocol-unix auth-anonymous=1
load-module module-null-sink sink_name=test_sink rate=48000 channels=2 format=s16le norewinds=1
set-default-sink test_sink
set-default-source test_sink.monitor
PA
    XDG_RUNTIME_DIR="$state/runtime" HOME="$state/home" \
        pulseaudio -n -F "$state/pa.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
        --log-target=stderr >"$state/pulse.log" 2>&1 &
    echo $! >>"$state/pids"
    for _ in $(seq 100); do
        XDG_RUNTIME_DIR="$state/runtime" HOME="$state/home" pactl info >/dev/null 2>&1 && break
        sleep 0.1
    done
    XDG_RUNTIME_DIR="$state/runtime" HOME="$state/home" pactl info >/dev/null 2>&1 ||
        { echo "PulseAudio did not start" >&2; return 1; }
    {
        echo "export XDG_RUNTIME_DIR=$state/runtime"
        echo "export PULSE_SERVER=unix:$state/runtime/pulse/native"
        echo "export TOVREL_TEST_SINK=test_sink"
    } >>"$state/env"
}

start_dbus() {
    local pid
    pid=$(dbus-daemon --session --address="unix:path=$state/bus" --fork --print-pid=1 --nopidfile)
    echo "$pid" >>"$state/pids"
    DBUS_SYSTEM_BUS_ADDRESS="unix:path=$state/bus" /usr/bin/python3 -m dbusmock --system \
        --template logind >"$state/logind.log" 2>&1 &
    echo $! >>"$state/pids"
    for _ in $(seq 100); do
        DBUS_SYSTEM_BUS_ADDRESS="unix:path=$state/bus" gdbus introspect --system \
            --dest org.freedesktop.login1 --object-path /org/freedesktop/login1 >/dev/null 2>&1 && break
        sleep 0.1
    done
    {
        echo "export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$state/bus"
        # Without a session bus libdbus would start one of its own that outlives the tests.
        echo "export DBUS_SESSION_BUS_ADDRESS=disabled:"
        echo "export TOVREL_TEST_LOGIND=1"
    } >>"$state/env"
}

case "$action" in
start)
    mkdir -p "$state"
    : >"$state/env"
    : >"$state/pids"
    start_xvfb
    start_openbox
    start_pulse
    start_dbus
    ;;
stop)
    if [[ -f "$state/pids" ]]; then
        while read -r pid; do
            [[ -n "$pid" ]] && kill "$pid" 2>/dev/null || true
        done <"$state/pids"
        rm -f "$state/pids"
    fi
    ;;
*)
    echo "usage: $0 start|stop STATE_DIR" >&2
    exit 2
    ;;
esac
