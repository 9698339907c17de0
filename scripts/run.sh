#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: a scan of the
# built-in demo gallery, stored under ./Download/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
./build/src/cli/tessellon-cli demo "$@"
