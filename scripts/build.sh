#!/usr/bin/env bash
# Configures and builds Tessellon into build/ (Release with debug info, warnings as errors).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -G Ninja -DTESSELLON_WERROR=ON "$@" >/dev/null
cmake --build build
