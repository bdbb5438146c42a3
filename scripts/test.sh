#!/usr/bin/env bash
# Installs what is missing, builds everything, starts the test components and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" "$top/build"

state=$(mktemp -d /tmp/tovrel-test.XXXXXX)
trap '"$top/scripts/components.sh" stop "$state"' EXIT
"$top/scripts/components.sh" start "$state"
# shellcheck disable=SC1091
source "$state/env"
export TOVREL_TEST_STATE="$state"

cd "$top/build"
ctest --output-on-failure -j "$(nproc)" --timeout 300
