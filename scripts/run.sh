#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job on the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
./build/src/cli/tessellon-cli links resources/sample/gallery.html \
    --url "https://gallery.example.org/summer/index.html" --attributes
