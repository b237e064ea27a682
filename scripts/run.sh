#!/usr/bin/env bash
# Sets up and builds the program folder, then starts the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF -DKV_BENCH=OFF
if [ -x demo/run-demo.sh ]; then
  exec demo/run-demo.sh build/bin
fi
echo "Built the program folder build/bin/. The client program and its demo come in a later step."
