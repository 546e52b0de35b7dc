#!/usr/bin/env bash
# Draws the icon's PNG sizes from its SVG (app/icons/). The 32x32 one is the
# window's own 256-colour icon (ui/icons/) and is kept as it is. Run after
# changing the SVG; the PNGs are committed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

ensure_packages librsvg2-bin
icons="$ROOT/app/icons"
for size in 16 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" "$icons/org.example.emptyfolderremover.svg" \
        -o "$icons/org.example.emptyfolderremover-$size.png"
done
