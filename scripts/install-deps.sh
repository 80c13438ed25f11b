#!/usr/bin/env bash
# Installs what Kestrelwatch needs on Debian 12, by purpose; safe to run again.
#   usage: scripts/install-deps.sh [run] [build] [test]      (no argument: all three)
#   run    what the program and its demo need at run time (scripts/start.sh installs run and build)
#   build  compilers, headers and the IEEE listings the vendor files are made from (and the benchmark
#          library: build.sh configures the tree as test.sh does, benchmarks included)
#   test   what the tests, sanitizers, fuzzers, benchmarks and package checks use: a broker, a mail server,
#          Xvfb, a notification daemon, clang... (scripts/test.sh installs all three)
# apt-get runs as root directly, or through sudo from another account.
set -euo pipefail

run=(
    libqt6widgets6 libqt6dbus6 libqt6network6 libqt6multimedia6 libqt6svg6 qt6-qpa-plugins
    libqt6httpserver6 libqt6websockets6
    libsqlite3-0 libnl-3-200 libnl-route-3-200 libmosquitto1 libssl3
    libcap2-bin iproute2 procps xdg-utils
)
build=(
    cmake ninja-build g++ lld pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev qt6-httpserver-dev qt6-websockets-dev
    libsqlite3-dev libnl-3-dev libnl-route-3-dev libssl-dev libcap-dev libmosquitto-dev
    ieee-data libbenchmark-dev
)
test=(
    clang-format ccache clang libclang-rt-14-dev
    sqlite3 googletest libgtest-dev
    xvfb xauth x11-utils trayer imagemagick xdotool
    python3 python3-aiosmtpd python3-prometheus-client python3-zeroconf
    pulseaudio pulseaudio-utils fonts-dejavu-core
    iputils-arping nftables dnsmasq-base dhcpcd-base udhcpc isc-dhcp-client
    openssl mosquitto mosquitto-clients
    dbus dbus-x11 dunst avahi-daemon
    desktop-file-utils appstream dpkg-dev fakeroot file
    chromium chromium-driver python3-selenium
)

groups=("$@")
((${#groups[@]})) || groups=(run build test)
packages=()
for g in "${groups[@]}"; do
    case $g in
    run) packages+=("${run[@]}") ;;
    build) packages+=("${build[@]}") ;;
    test) packages+=("${test[@]}") ;;
    *) echo "install-deps.sh: unknown group '$g' (run, build or test)" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "install-deps.sh: run as root (missing: ${missing[*]})" >&2; exit 1; }
        SUDO=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${SUDO[@]}" apt-get update -qq
    "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
