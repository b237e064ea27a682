#!/usr/bin/env bash
# Sets up and builds the program folder, then starts the demo: the demo
# servers on loopback and the client through its launcher, with a registry and
# Windows directory of their own under build/demo-home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF -DKV_BENCH=OFF
exec demo/run-demo.sh build "$@"
