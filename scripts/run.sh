#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
build_preset release build

cat <<TXT
Built. The window is not there yet; the scan runs from the command line:

  $ROOT/build/bin/efr-scan MAIN_FOLDER

It prints every empty folder beneath MAIN_FOLDER, parent first.
TXT
