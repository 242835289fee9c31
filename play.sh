#!/usr/bin/env bash
# Installs what is missing, builds the game, makes the demo data and starts
# the game on it.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/deps.sh
orrimund_install_deps

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(orrimund_jobs)"

rm -rf build/demo
build/bin/make_demo build/demo

export ORRIMUND_ROOT="$PWD/build/demo"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display found: running the game under a virtual X server (xvfb-run)."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/orrimund "$@"
fi
exec build/bin/orrimund "$@"
