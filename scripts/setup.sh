#!/usr/bin/env bash
# Shared by run.sh and test.sh: installs the Debian packages the build needs
# (only those missing, so a second run is quick) and builds a preset.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# What building and testing need on a fresh Debian 12 machine: the tool
# chain, GoogleTest, Qt 6 Widgets, and the sans-serif face the window uses.
BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev findutils qt6-base-dev fonts-liberation2)
# What the tests need besides: the validators of the desktop entry and the
# software-centre metainfo; git, Subversion and OSTree for the repositories
# the tests keep whole; and the programs whose empty folders the tests make
# with the programs themselves: Vim, OpenSSH (a client, and a server that the
# client starts for itself), CMake with make, and Squid; and trash-cli, which
# reads the desktop's Trash as file managers do, as does gio (libglib2.0-bin)
# with gvfs and a session bus (dbus).
TEST_PACKAGES=(desktop-file-utils appstream git subversion ostree vim openssh-client openssh-server make squid trash-cli libglib2.0-bin gvfs dbus)
# What taking a screenshot of the window needs besides.
SCREENSHOT_PACKAGES=(xvfb xauth imagemagick xdotool)

ensure_packages() {
    local missing=()
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    # Servers among them (sshd, Squid) are only ever run by the tests
    # themselves: a policy that refuses every start keeps the install from
    # starting the machine's own, and goes again if it was ours.
    local policy=/usr/sbin/policy-rc.d ownPolicy=0
    if [ ! -e "$policy" ]; then
        printf '#!/bin/sh\nexit 101\n' | "${sudo[@]}" tee "$policy" >/dev/null
        "${sudo[@]}" chmod 755 "$policy"
        ownPolicy=1
    fi
    local status=0
    "${sudo[@]}" apt-get update -q && "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" ||
        status=$?
    [ "$ownPolicy" -eq 1 ] && "${sudo[@]}" rm -f "$policy"
    return "$status"
}

# Configures once, then lets the build tool decide what needs doing.
build_preset() {
    local preset="$1" dir="$2"
    cd "$ROOT"
    if [ ! -f "$dir/build.ninja" ]; then
        cmake --preset "$preset"
    fi
    cmake --build --preset "$preset"
}
