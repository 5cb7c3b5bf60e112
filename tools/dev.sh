#!/usr/bin/env bash
# The project's two entry points for a fresh Debian 12 machine:
#   tools/dev.sh run    install what is missing, build, start the lamp
#   tools/dev.sh test   install what is missing, build, run every test (plain and sanitized builds)
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-qpa-plugins libjpeg62-turbo-dev libgtest-dev libgmock-dev
    libjpeg-turbo-progs libstb-dev clang libclang-rt-14-dev
    xvfb openbox trayer oneko xdotool x11-utils x11-xserver-utils imagemagick xdg-utils fonts-dejavu-core libxcb1-dev libxcb-shm0-dev libxcb-shape0-dev libxcb-xfixes0-dev libxcb-screensaver0-dev libxcb-dpms0-dev
    dpkg-dev file lintian desktop-file-utils appstream man-db groff-base mandoc
    xfce4-panel dbus-daemon dbus-bin xfwm4 xcompmgr weston xwayland xdg-desktop-portal xdg-desktop-portal-gtk
    at-spi2-core python3-pyatspi gir1.2-atspi-2.0 python3-gi python3-tk
)

install_missing() {
    local missing=() p
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
    done
    ((${#missing[@]})) || return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

build() {
    cmake --preset "$1"
    cmake --build --preset "$1"
}

case "${1:-}" in
run)
    install_missing
    build default
    if [ -x build/default/app/nimo ]; then
        exec build/default/app/nimo "${@:2}"
    fi
    # Until the lamp window exists, show what the picture library makes of the first frame.
    exec build/default/tools/nimo-decode --resource 129
    ;;
test)
    install_missing
    build default
    ctest --preset default
    build asan
    ctest --preset asan
    ;;
*)
    echo "usage: tools/dev.sh run|test" >&2
    exit 2
    ;;
esac
