#!/usr/bin/env bash
# package.sh [BUILD_DIR]: builds the programs as a release for the baseline processor (no
# -march=native, no sanitizer, no tests) and makes the Debian package from that build with CPack;
# dependencies come from dpkg-shlibdeps. Runs lintian when it is installed. Prints the package's
# path last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$top/build-package}
"$top/scripts/install-deps.sh"
# Debian's hardening flags (stack protector, fortified libc calls, read-only relocations);
# CMake takes them from the environment when it configures a new build folder.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CFLAGS $CPPFLAGS" CXXFLAGS="$CXXFLAGS $CPPFLAGS" LDFLAGS
cmake -S "$top" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DTOVREL_TESTS=OFF -DTOVREL_BENCH=OFF \
    -DTOVREL_SANITIZE=OFF -DTOVREL_TSAN=OFF -DTOVREL_FUZZ=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)"
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls -t "$dir"/tovrel_*.deb | head -n1)
dpkg-deb -f "$deb" Package Version Architecture Depends
if command -v lintian >/dev/null; then
    lintian --fail-on error "$deb"
fi
echo "$deb"
