#!/usr/bin/env bash
# Configures and builds into build/ (CMakePresets.json: "default").
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --parallel "$(nproc)"
