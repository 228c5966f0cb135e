#!/usr/bin/env bash
# Renders every window offscreen to PNG over a sample database, once for every screen the
# windows are made for (handheld, tablet and phone sizes, portrait and landscape; the list is
# tests/ui/screens.cmake): build/screenshots/<screen>/. Look at them after a change.
# With --docs it also copies the README's pictures into docs/images: the main window and the
# road of one order, «Итоги» and the backups at 240 x 320, and one landscape and one phone-sized picture.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh --target vendrix_screenshots
export QT_QPA_PLATFORM=offscreen
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
for screen_file in build/screens/*.json; do
    screen="$(basename "$screen_file" .json)"
    # Without the offscreen platform's made-up window frame: the pictures show the windows'
    # client areas at the size of the screen, as the handheld's caption bar is not theirs.
    sed 's/^{/{"windowFrameMargins": false, /' "$screen_file" >"$runtime/$screen.json"
    QT_QPA_PLATFORM="offscreen:configfile=$runtime/$screen.json" \
        build/tests/vendrix_screenshots "build/screenshots/$screen" >/dev/null
    echo "build/screenshots/$screen"
done
if [[ "${1:-}" == "--docs" ]]; then
    cp build/screenshots/240x320/main_window.png build/screenshots/240x320/road_*.png \
        build/screenshots/240x320/totals.png build/screenshots/240x320/backups.png docs/images/
    cp build/screenshots/320x240/road_document_header.png docs/images/landscape_document_header.png
    cp build/screenshots/240x320@3x/road_document_order.png docs/images/phone_document_order.png
    echo "README pictures copied to docs/images"
fi
