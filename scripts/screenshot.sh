#!/usr/bin/env bash
# scripts/screenshot.sh OUT.png [FOLDER]
#
# Runs the program in a virtual X display, opens FOLDER in its folder tree
# (by default a small demo tree made for the occasion) the way a user would,
# with the keyboard, lets the scan run and saves a picture of the window.
# With EFR_STATUS_TIP=1 the mouse then rests on the status line, and the
# picture is of the whole screen, so that the line's tooltip shows too.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: scripts/screenshot.sh OUT.png [FOLDER]" >&2
    exit 2
fi
out="$(realpath -m "$1")"

ensure_packages "${BUILD_PACKAGES[@]}" "${SCREENSHOT_PACKAGES[@]}"
build_preset release build

demo=""
if [ $# -eq 2 ]; then
    folder="$(realpath "$2")"
else
    demo="$(mktemp -d /tmp/efr-demo-XXXXXX)"
    folder="$demo/Projects"
    mkdir -p "$folder"/{old-build/{obj,bin},notes/drafts,photos/2019,music/live,.cache/thumbs,src}
    echo "remember the milk" > "$folder/notes/todo.txt"
    touch "$folder/photos/2019/.keep"
    echo "int main() {}" > "$folder/src/main.cpp"
fi
trap '[ -n "$demo" ] && rm -rf "$demo"' EXIT

# In the folder above FOLDER the tree starts there; typing FOLDER's name
# selects it and Enter opens it, which starts the scan.
cd "$(dirname "$folder")"
export EFR_PROGRAM="$ROOT/build/bin/empty-folder-remover" EFR_NAME="$(basename "$folder")" EFR_OUT="$out"
export EFR_STATUS_TIP="${EFR_STATUS_TIP:-}"
xvfb-run -a -s "-screen 0 1280x720x24 -dpi 96" bash -c '
    "$EFR_PROGRAM" &
    program=$!
    window=$(xdotool search --sync --name "Quennow :: Empty Folder Remover" | head -n 1)
    xdotool windowfocus --sync "$window" 2>/dev/null || true
    sleep 1
    xdotool key --window "$window" Tab Tab
    xdotool type --window "$window" --delay 50 "$EFR_NAME"
    xdotool key --window "$window" Return
    sleep 3
    if [ -n "$EFR_STATUS_TIP" ]; then
        eval "$(xdotool getwindowgeometry --shell "$window")"
        xdotool mousemove $((X + 200)) $((Y + HEIGHT - 8))
        sleep 2
        import -window root "$EFR_OUT"
    else
        import -window "$window" "$EFR_OUT"
    fi
    kill "$program"
' 2>/dev/null
echo "Saved $out"
