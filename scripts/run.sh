#!/usr/bin/env bash
# Builds Ombrel and starts it in the current X11 session.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target ombrel
exec ./build/ombrel "$@"
