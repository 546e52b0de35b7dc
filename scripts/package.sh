#!/usr/bin/env bash
# Builds the release and makes the Debian package under build/packages/.
# Safe to run again: the package is made afresh each time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

# CPack's Debian generator finds the program's libraries with dpkg-shlibdeps
# (from dpkg-dev), after telling binaries apart with file.
ensure_packages "${BUILD_PACKAGES[@]}" dpkg-dev file
build_preset release build
cd "$ROOT/build"
cpack --config CPackConfig.cmake
