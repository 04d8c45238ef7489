#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the demo host: a
# sample schedule driven through a simulated week.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target maskschedule-demo >/dev/null
build/tools/maskschedule-demo "$@"
