#!/usr/bin/env bash
# Installs what the program needs when it is missing, builds the program and
# its worker (no tests), and starts it. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --program
cmake --preset default >/dev/null
cmake --build --preset default --parallel "$(nproc)" --target leafmark leafmark-worker
exec build/bin/leafmark "$@"
