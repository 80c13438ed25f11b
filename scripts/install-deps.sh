#!/usr/bin/env bash
# Installs everything Kestrelwatch needs to build, run and test on Debian 12. Safe to run again.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6svg6
    libsqlite3-dev sqlite3 libnl-3-dev libnl-route-3-dev
    ieee-data
    googletest libgtest-dev libbenchmark-dev
    xvfb xauth x11-utils trayer imagemagick
    python3 python3-aiosmtpd
    pulseaudio pulseaudio-utils fonts-dejavu-core
    iproute2 libcap2-bin procps xdotool iputils-arping nftables
    dnsmasq-base dhcpcd-base udhcpc isc-dhcp-client
    ccache clang libclang-rt-14-dev
    openssl libssl-dev libcap-dev libmosquitto-dev mosquitto mosquitto-clients
    dbus dbus-x11 dunst avahi-daemon
    desktop-file-utils appstream dpkg-dev fakeroot file
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
