#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. The program keeps its database in
# build/data/base.sdb, beside itself. Without a display it runs on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh --target vendrix
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR="/tmp/runtime-$(id -un)"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Vendrix Agent on a virtual X display (Xvfb)."
    exec xvfb-run -a -s "-screen 0 480x640x24" build/vendrix "$@"
fi
exec build/vendrix "$@"
