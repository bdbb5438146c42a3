#!/usr/bin/env bash
# install_test.sh SOURCE_DIR BUILD_DIR VERSION: the test build, installed as a user installs it.
#
# 1. `cmake --install` into an empty temporary prefix: every file where the GNU folders put it,
#    valid, the udev rule and the AppStream files listing every box of the device tables, the
#    programs answering from the prefix and the panel finding its firmware folder beside them.
# 2. The same build packaged (cpack, no second compile), installed into this machine with
#    `apt-get install ./….deb`, checked under /usr, `tovrel2 --simulate` started from /usr/bin the
#    way its menu entry starts it, then removed again with whatever it brought along. Only as root,
#    and never where a tovrel package is installed already; TOVREL_TEST_SYSTEM_PACKAGE=0 leaves the
#    machine alone.
set -euo pipefail
top=${1:?source folder}
build=${2:?build folder}
version=${3:?version}
here=$(cd "$(dirname "$0")" && pwd)
check_tree=("${PYTHON:-python3}" "$here/check_tree.py")

# shellcheck source=tests/scripts/program_window.sh
source "$top/tests/scripts/program_window.sh"
make_work install
unset TOVREL_FIRMWARE_DIR

echo "== cmake --install into an empty prefix =="
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
"${check_tree[@]}" "$prefix" "$top" "$build/packaged_programs.txt" "$version"

# The installed panel runs from the prefix (no path into the build folder is needed).
QT_QPA_PLATFORM=offscreen "$prefix/bin/tovrel-panel" --simulate >"$work/panel.log" 2>&1 &
pid=$!
sleep 2
if ! kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: the installed tovrel-panel --simulate ended:"
    cat "$work/panel.log"
    exit 1
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=

if [[ "${TOVREL_TEST_SYSTEM_PACKAGE:-1}" == 0 ]]; then
    echo "package phase left out (TOVREL_TEST_SYSTEM_PACKAGE=0)"
    exit 0
fi
if [[ $(id -u) -ne 0 ]] || ! command -v apt-get >/dev/null; then
    echo "package phase left out: it installs into the machine, which needs root and apt"
    exit 0
fi
if dpkg-query -W -f='${Status}' tovrel 2>/dev/null | grep -q installed; then
    echo "package phase left out: a tovrel package is installed already; it stays as it is"
    exit 0
fi
for packaged in $(cut -d' ' -f1 "$build/packaged_programs.txt"); do
    if [[ -e /usr/bin/$packaged ]]; then
        echo "package phase left out: /usr/bin/$packaged exists and belongs to no tovrel package"
        exit 0
    fi
done

echo "== the Debian package of this build =="
start=$SECONDS
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/package/tovrel_*.deb)
echo "packaged in $((SECONDS - start)) s: $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Computed from the programs' libraries, plus the window-system plugin no linker sees.
for needed in libqt6widgets6 libc6 qt6-qpa-plugins; do
    if ! grep -q "\b$needed\b" <<<"$depends"; then
        echo "FAIL: the package does not depend on $needed"
        exit 1
    fi
done
dpkg-deb -c "$deb" | awk '{print $6}' >"$work/contents"
for path in ./usr/bin/tovrel2 ./usr/lib/udev/rules.d/70-tovrel.rules ./usr/share/tovrel/firmware/; do
    grep -qx "$path" "$work/contents" || { echo "FAIL: the package lacks $path"; exit 1; }
done
if grep -v '^\./usr/' "$work/contents" | grep -q .; then
    echo "FAIL: the package installs outside /usr:"
    grep -v '^\./usr/' "$work/contents"
    exit 1
fi

# Whatever apt brings along goes again: the machine is left with the packages it had.
dpkg-query -W -f='${Package}\n' | sort >"$work/before"
remove_package() {
    dpkg-query -W -f='${Package}\n' | sort >"$work/after"
    mapfile -t added < <(comm -13 "$work/before" "$work/after")
    if ((${#added[@]})); then
        DEBIAN_FRONTEND=noninteractive dpkg --purge "${added[@]}" >"$work/purge.log" 2>&1 ||
            cat "$work/purge.log"
    fi
}
trap 'remove_package; cleanup' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    -o DPkg::Lock::Timeout=300 "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
"${check_tree[@]}" /usr "$top" "$build/packaged_programs.txt" "$version"
for packaged in $(cut -d' ' -f1 "$build/packaged_programs.txt"); do
    [[ "$(dpkg -S "/usr/bin/$packaged" 2>/dev/null)" == "tovrel: /usr/bin/$packaged" ]] ||
        { echo "FAIL: /usr/bin/$packaged is not the package's"; exit 1; }
done

if [[ -n "${DISPLAY:-}" ]]; then
    # Started as its menu entry's demo action starts it: from "/", settings in the config folder.
    mkdir -p "$work/home"
    (cd / && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" TMPDIR="$work" \
        XDG_RUNTIME_DIR="$work" DBUS_SESSION_BUS_ADDRESS=disabled: \
        /usr/bin/tovrel2 --from-menu --simulate \
        >"$work/run.log" 2>&1) &
    pid=$!
    find_program_window 30
    wait_for_caption Tovrel2-Preview- 30
    echo "caption: $title"
    kill -TERM "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    if [[ ! -s "$work/home/.config/tovrel/setting.ini" ]] || [[ -e /setting.ini ]]; then
        echo "FAIL: started from the menu, the program did not keep setting.ini in ~/.config/tovrel"
        cat "$work/run.log"
        exit 1
    fi
else
    echo "no display: /usr/bin/tovrel2 --simulate not started"
fi

remove_package
trap cleanup EXIT
if [[ -e /usr/bin/tovrel2 ]] || dpkg-query -W -f='${Status}' tovrel 2>/dev/null | grep -q installed
then
    echo "FAIL: the package did not go away"
    exit 1
fi
echo "package installed, checked and removed"
