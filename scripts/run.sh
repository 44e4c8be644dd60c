#!/usr/bin/env bash
# Installs what is needed, builds, and starts effectdemo from its build folder.
# Without a display it starts a virtual X server (Xvfb) for it.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
bin="${BUILD_DIR:-$root/build}/bin/effectdemo"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1920x1080x24 +extension GLX +render" "$bin" "$@"
fi
exec "$bin" "$@"
