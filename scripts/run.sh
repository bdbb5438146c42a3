#!/usr/bin/env bash
# Installs what is missing, builds tovrel2, and starts it with the simulated box on the current
# display. The build folder is build/, or TOVREL_BUILD_DIR. A folder that is configured already
# (by an earlier run, by scripts/test.sh or by hand) is built as it is configured, and only for
# tovrel2, so starting the program never changes a build's options; when tovrel2 is up to date
# nothing is compiled.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${TOVREL_BUILD_DIR:-$top/build}
"$top/scripts/install-deps.sh"
if [[ -f "$build/CMakeCache.txt" ]]; then
    cmake --build "$build" -j "$(nproc)" --target tovrel2
else
    "$top/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DTOVREL_TESTS=OFF -DTOVREL_BENCH=OFF
fi
exec "$build/apps/tovrel2/tovrel2" --simulate "$@"
