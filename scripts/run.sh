#!/usr/bin/env bash
# Installs what is missing, builds, and opens the window.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

ensure_packages "${BUILD_PACKAGES[@]}"
build_preset release build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Built $ROOT/build/bin/empty-folder-remover, but there is no display to open its window on." >&2
    echo "Run this from a desktop session (or see scripts/screenshot.sh for a virtual one)." >&2
    exit 1
fi
exec "$ROOT/build/bin/empty-folder-remover"
