#!/usr/bin/env bash
# Renders every window offscreen to PNG over a sample database: build/screenshots/ at the
# handheld's 1x and build/screenshots/2x on a doubled screen. Look at them after a change.
# With --docs it also copies the README's pictures (the main window and the road of one order)
# into docs/images.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh --target vendrix_screenshots
export QT_QPA_PLATFORM=offscreen
runtime="$(mktemp -d)"
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"
build/tests/vendrix_screenshots build/screenshots
# A doubled screen, large enough that the windows keep the handheld size.
cat >"$runtime/screen2x.json" <<'JSON'
{"screens": [{"name": "2x", "x": 0, "y": 0, "width": 960, "height": 1280,
              "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 2}]}
JSON
QT_QPA_PLATFORM="offscreen:configfile=$runtime/screen2x.json" \
    build/tests/vendrix_screenshots build/screenshots/2x
if [[ "${1:-}" == "--docs" ]]; then
    cp build/screenshots/main_window.png build/screenshots/road_*.png docs/images/
    echo "README pictures copied to docs/images"
fi
