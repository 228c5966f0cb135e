#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. The program keeps its database in
# build/data/base.sdb, beside itself. Without a display it runs on a virtual X display.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh --target vendrix
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    # A private runtime folder (mktemp makes it 0700) under a name nobody can guess or take
    # first, removed when the program ends.
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
    trap 'rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Vendrix Agent on a virtual X display (Xvfb)."
    xvfb-run -a -s "-screen 0 480x640x24" build/vendrix "$@"
else
    build/vendrix "$@"
fi
