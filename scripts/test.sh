#!/usr/bin/env bash
# Installs what is missing, builds everything, starts the test components and runs every test;
# then runs the unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/check-format.sh"
"$top/scripts/build.sh" "$top/build"

state=$(mktemp -d /tmp/tovrel-test.XXXXXX)
trap '"$top/scripts/components.sh" stop "$state"' EXIT
"$top/scripts/components.sh" start "$state"
# shellcheck disable=SC1091
source "$state/env"
export TOVREL_TEST_STATE="$state"

status=0
(cd "$top/build" && ctest --output-on-failure -j "$(nproc)" --timeout 300) || status=1

if [[ "${TOVREL_SKIP_SANITIZERS:-0}" != 1 ]]; then
    echo "== unit tests under AddressSanitizer and UndefinedBehaviorSanitizer =="
    "$top/scripts/build.sh" "$top/build-asan" -DTOVREL_SANITIZE=ON -DTOVREL_BENCH=OFF
    (cd "$top/build-asan" && ctest -L unit --output-on-failure -j "$(nproc)" --timeout 600) || status=1
fi
exit $status
