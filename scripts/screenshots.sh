#!/usr/bin/env bash
# Pictures of the settings window for people to look at. With no argument: every pane in the
# light and the dark look, small, into docs/screenshots (the README shows them). With --all: also
# the editor for each kind of trigger, the empty states and the window at its smallest, full
# colour, into the folder given (default build/artifacts/settings).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target settings_screenshots
tool=build/tools/screenshots/settings_screenshots
if [ "${1:-}" = "--all" ]; then
  QT_QPA_PLATFORM=offscreen "$tool" "${2:-build/artifacts/settings}" --all
else
  QT_QPA_PLATFORM=offscreen "$tool" docs/screenshots
fi
