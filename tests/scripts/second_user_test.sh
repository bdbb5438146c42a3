#!/usr/bin/env bash
# second_user_test.sh BUILD_DIR: another user of the same machine can neither bring our window
# forward, nor plug or unplug our simulated box, nor take our named locks: the program's sockets
# and lock files live in our private runtime folder. Where the session gives no runtime folder,
# a folder another user made first in the shared temporary folder is refused, with a message,
# and nothing of ours is opened in it.
set -euo pipefail
build=${1:?build folder}
other=tovrel-other

# Exit code 77 tells CTest the test was skipped.
skip() {
    echo "SKIP: $1"
    exit 77
}
fail() {
    echo "FAIL: $1"
    [[ -f "$work/run.log" ]] && { echo "--- the program's output:"; cat "$work/run.log"; }
    exit 1
}

[[ $(id -u) -eq 0 ]] || skip "creating and becoming a second user needs root"
if ! id -u "$other" >/dev/null 2>&1; then
    useradd --system --no-create-home --shell /usr/sbin/nologin "$other" >/dev/null 2>&1 ||
        skip "useradd $other failed"
fi
other_uid=$(id -u "$other")
other_gid=$(id -g "$other")
as_other() {
    setpriv --reuid="$other_uid" --regid="$other_gid" --clear-groups \
        env -i PATH=/usr/bin:/bin HOME=/nonexistent "$@"
}
as_other true 2>/dev/null || skip "setpriv cannot become $other"
as_other test -x "$build/apps/tovrelctl/tovrelctl" ||
    skip "the build folder $build is closed to other users"

pid=
listener=
work=$(mktemp -d /tmp/tovrel-second-user.XXXXXX)
cleanup() {
    # The other user's listener says its own process id: the one bash knows may be a wrapper's.
    [[ -s "$work/shared/listener.pid" ]] && kill "$(cat "$work/shared/listener.pid")" 2>/dev/null
    for p in $pid $listener; do
        kill "$p" 2>/dev/null || true
        wait "$p" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
# Like /run/user: anyone may pass through to a folder of a known name, only we may enter ours.
chmod 0711 "$work"
runtime="$work/runtime"
mkdir -m 0700 "$runtime"
mkdir -p "$work/home" "$work/run"
mkdir -m 0700 "$work/other"
chown "$other_uid:$other_gid" "$work/other"

start_program() {  # env arguments for the program: -u NAME, NAME=VALUE
    (cd "$work/run" && exec env "$@" HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
        QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=tovrel.debugoutput=true \
        DBUS_SESSION_BUS_ADDRESS=disabled: "$build/apps/tovrel2/tovrel2" --simulate \
        >"$work/run.log" 2>&1) &
    pid=$!
}
stop_program() {
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
}
wait_for() {  # TEST...: waits up to 30 s while the program runs
    for _ in $(seq 150); do
        "$@" && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended"
        sleep 0.2
    done
    fail "waited 30 s for: $*"
}
# The listening Unix sockets of the program, one path a line.
listening_sockets() { ss -xlpn | awk -v p="pid=$pid," 'index($0, p) { print $5 }'; }

# What the other user gets when connecting to PATH and sending LINE: "refused" or "connected".
other_connects() {  # PATH LINE
    as_other /usr/bin/python3 - "$1" "$2" <<'EOF'
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
try:
    s.connect(sys.argv[1])
    s.sendall(sys.argv[2].encode() + b"\n")
    print("connected")
except PermissionError:
    print("refused")
EOF
}

# --- 1. The session's runtime folder --------------------------------------------------------
start_program TMPDIR="$work" XDG_RUNTIME_DIR="$runtime"
marker="$runtime/Tovrel2ClassName"
control="$runtime/tovrel-simulated-box"
wait_for test -S "$control"
test -S "$marker" || fail "no instance marker at $marker"

sockets=$(listening_sockets)
echo "listening sockets of the program:"
echo "$sockets"
[[ $(grep -c . <<<"$sockets") -ge 2 ]] || fail "ss shows fewer than the program's two sockets"
while read -r path; do
    [[ "$path" == "$runtime/"* ]] || fail "a socket outside the runtime folder: $path"
done <<<"$sockets"

# Bring our window forward, unplug our box: both doors stay shut to the other user.
[[ $(other_connects "$marker" raise) == refused ]] || fail "$other reached the instance marker"
[[ $(other_connects "$control" unplug) == refused ]] || fail "$other reached the box's control"
# tovrelctl as the other user, even pointed at our folder, refuses it and finds no box.
set +e
as_other TMPDIR="$work/other" XDG_RUNTIME_DIR="$runtime" \
    "$build/apps/tovrelctl/tovrelctl" --simulate unplug >"$work/other/ctl.out" 2>&1
status=$?
set -e
echo "tovrelctl as $other: exit $status: $(tr '\n' ' ' <"$work/other/ctl.out")"
[[ $status -eq 1 ]] || fail "tovrelctl as $other: exit $status"
grep -q "XDG_RUNTIME_DIR $runtime belongs to user 0" "$work/other/ctl.out" ||
    fail "tovrelctl as $other did not say why it refused our folder"

# Our named locks: the audio ring's "RING" is held by every running copy.
lock="$runtime/tovrel-locks/RING.lock"
wait_for test -f "$lock"
taken=$(as_other /usr/bin/python3 - "$lock" <<'EOF'
import fcntl, sys
try:
    with open(sys.argv[1], "r+") as f:
        fcntl.flock(f, fcntl.LOCK_EX | fcntl.LOCK_NB)
        print("taken")
except PermissionError:
    print("refused")
EOF
)
[[ "$taken" == refused ]] || fail "$other could take our named lock $lock"

# Nothing of it reached the program: its box is still plugged in, and no one asked it to come
# forward.
XDG_RUNTIME_DIR="$runtime" "$build/apps/tovrelctl/tovrelctl" --simulate unplug ||
    fail "our own unplug failed: was the box unplugged by $other?"
XDG_RUNTIME_DIR="$runtime" "$build/apps/tovrelctl/tovrelctl" --simulate plug ||
    fail "our own plug failed"
if grep -q "bringing the window forward" "$work/run.log"; then
    fail "the window was asked to come forward"
fi
stop_program

# --- 2. No runtime folder: a private folder in a shared temporary folder ----------------------
shared="$work/shared"
mkdir -m 1777 "$shared"
# The other user was first: our folder's name, open to everyone, with a live marker in it that
# notes every visitor. The program used to take such a marker for a copy of its own and end.
planted="$shared/tovrel-$(id -u)"
as_other mkdir -m 0777 "$planted"
as_other /usr/bin/python3 - "$planted/Tovrel2ClassName" "$shared/visits" <<'EOF' >/dev/null 2>&1 &
import os, socket, sys
with open(os.path.join(os.path.dirname(sys.argv[2]), "listener.pid"), "w") as f:
    f.write(str(os.getpid()))
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o777)
s.listen()
open(sys.argv[2], "w").close()
while True:
    c, _ = s.accept()
    with open(sys.argv[2], "a") as f:
        f.write("visited\n")
    c.close()
EOF
listener=$!
for _ in $(seq 50); do [[ -e "$shared/visits" ]] && break; sleep 0.1; done
[[ -e "$shared/visits" ]] || fail "the other user's marker did not start"

start_program -u XDG_RUNTIME_DIR TMPDIR="$shared"
refusal="refusing the private folder $planted: it belongs to user $other_uid"
wait_for grep -q "$refusal" "$work/run.log"
sleep 3  # the single-instance test and the simulated box's door come first at start-up
kill -0 "$pid" 2>/dev/null || fail "the program ended at start-up"
[[ ! -s "$shared/visits" ]] || fail "the program connected to the other user's marker"
sockets=$(listening_sockets)
[[ -z "$sockets" ]] || fail "the program listens in a folder it refused: $sockets"
[[ -z "$(find "$planted" -user 0)" ]] || fail "the program left files in the refused folder"
echo "without a runtime folder: $(grep -m1 "$refusal" "$work/run.log")"
stop_program
echo "PASS"
