#!/usr/bin/env bash
# Installs what is missing, builds, and starts tovrel2 with the simulated box on the current display.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build" -DTOVREL_TESTS=OFF -DTOVREL_BENCH=OFF
exec "$top/build/apps/tovrel2" --simulate "$@"
