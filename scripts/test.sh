#!/usr/bin/env bash
# Installs what is missing, builds everything as a release (-O3, warnings as errors), starts the
# test components and runs every test; then runs the unit tests once more under AddressSanitizer
# and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/check-format.sh"
"$top/scripts/build.sh" "$top/build" -DCMAKE_BUILD_TYPE=Release -DTOVREL_WERROR=ON \
    -DTOVREL_TESTS=ON -DTOVREL_BENCH=ON

# A locale that writes decimal commas, for the tests that the system's texts do not follow the
# user's locale; generated once per machine.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
    sudo_cmd=()
    [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
export TOVREL_TEST_COMMA_LOCALE=de_DE.UTF-8

state=$(mktemp -d /tmp/tovrel-test.XXXXXX)
trap '"$top/scripts/components.sh" stop "$state"; rm -rf "$state"' EXIT
"$top/scripts/components.sh" start "$state"
touch "$state/started"
# shellcheck disable=SC1091
source "$state/env"
export TOVREL_TEST_STATE="$state"

status=0
failed_runs=()
# Names the failed tests of one run once more at the very end, where a reader of only the log's
# tail (a CI page) finds them.
remember_failures() {  # BUILD_DIR RUN_NAME
    local log="$1/Testing/Temporary/LastTestsFailed.log"
    [[ -s "$log" ]] && failed_runs+=("$2: $(cut -d: -f2 "$log" | tr '\n' ' ')")
    return 0
}
(cd "$top/build" && ctest --output-on-failure -j "$(nproc)" --timeout 300) ||
    { status=1; remember_failures "$top/build" "release"; }

if [[ "${TOVREL_SKIP_SANITIZERS:-0}" != 1 ]]; then
    echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
    cmake -S "$top" -B "$top/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVREL_SANITIZE=ON \
        -DTOVREL_WERROR=ON -DTOVREL_BENCH=OFF >/dev/null
    cmake --build "$top/build-asan" -j "$(nproc)" --target unit_tests
    (cd "$top/build-asan" && ctest -L unit --output-on-failure -j "$(nproc)" --timeout 600) ||
        { status=1; remember_failures "$top/build-asan" "sanitizers"; }

    # The threaded tests once more under ThreadSanitizer: only the binaries that hold them are
    # built, so the run costs a few minutes rather than a third full build.
    echo "== threaded tests under ThreadSanitizer =="
    tsan_targets=(audio_ring_test audio_capture_test audio_monitor_test capture_test
                  tovrel_sim_bridge_test snapshot_test tovrel_device_test
                  io_dialog_model_test screen_recorder_test)
    cmake -S "$top" -B "$top/build-tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVREL_TSAN=ON \
        -DTOVREL_WERROR=ON -DTOVREL_BENCH=OFF >/dev/null
    cmake --build "$top/build-tsan" -j "$(nproc)" --target "${tsan_targets[@]}"
    (cd "$top/build-tsan" && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
        ctest -R 'Threads\.|^AudioRingTest|^AudioCaptureTest|^AudioMonitorTest|^SessionFixture|^SnapshotFixture|^FrameEvent|^RegisterWorker|^IODialogModel|^ScreenRecorderTest' \
        --output-on-failure -j "$(nproc)" --timeout 600) ||
        { status=1; remember_failures "$top/build-tsan" "threads"; }
fi
# Whatever a test made in the shared temporary folder it must take away again: a user's /tmp
# fills with what a program forgets there.
leftovers=$(find "${TMPDIR:-/tmp}" -maxdepth 1 -name '*tovrel*' -newer "$state/started" \
    ! -path "$state" 2>/dev/null || true)
if [[ -n "$leftovers" ]]; then
    status=1
    failed_runs+=("temporary folder: left behind: $(echo "$leftovers" | tr '\n' ' ')")
fi
for run in "${failed_runs[@]}"; do echo "FAILED in the $run"; done
exit $status
