#!/usr/bin/env bash
# Builds the Debian package, build/ombrel_<version>_<arch>.deb, and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh >&2
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target ombrel ombrel_icons ombrel_docs >&2
rm -f build/ombrel_*.deb
(cd build && cpack -G DEB >/dev/null)
ls "$PWD"/build/ombrel_*.deb
