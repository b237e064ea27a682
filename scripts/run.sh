#!/usr/bin/env bash
# Sets up and builds the program folder, then starts the demo: the demo
# servers on loopback and the client through its launcher, with a registry and
# Windows directory of their own under build/demo-home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The program as a user builds it, in the folder the test command shares: no
# tests or benchmarks, and warnings are not errors here.
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF -DKV_BENCH=OFF -DKV_WERROR=OFF
# The animation server is reached over the session bus; bring one along when
# the desktop has none.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  exec dbus-run-session -- demo/run-demo.sh build "$@"
fi
exec demo/run-demo.sh build "$@"
