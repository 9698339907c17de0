#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the gallery
# window on the built-in demo gallery, or, without a display, a scan of the
# demo gallery on the command line. Downloads go under ./Download/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "Starting Tessellon on the demo gallery: press Start to scan it."
  exec ./build/src/app/tessellon --demo "$@"
fi
echo "No display here (DISPLAY is not set), so the window cannot open."
echo "Run this command from a desktop session, or log in with 'ssh -X' to see the window."
echo "Meanwhile the command-line scanner scans the demo gallery:"
exec ./build/src/cli/tessellon-cli demo "$@"
