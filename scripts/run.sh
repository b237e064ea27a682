#!/usr/bin/env bash
# Sets up and builds the program folder, then starts the client through its
# launcher (or the demo, once it exists), with a registry and Windows
# directory of its own under build/demo-home.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=OFF -DKV_BENCH=OFF
if [ -x demo/run-demo.sh ]; then
  exec demo/run-demo.sh build/bin
fi
home="$PWD/build/demo-home"
mkdir -p "$home/run" "$home/config" "$home/data" "$home/windows" "$home/c"
chmod 700 "$home/run"
export KORVANDEL_REGISTRY="$home/config/registry"
export KORVANDEL_WINDIR="$home/windows"
export KORVANDEL_DRIVE_C="$home/c"
export XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
No display to show the client on. Run it under a virtual X server:
  xvfb-run -a -s "-screen 0 1280x800x24" scripts/run.sh
or start one yourself and look at it with a screenshot:
  Xvfb :99 -screen 0 1280x800x24 &  DISPLAY=:99 scripts/run.sh &
  sleep 5; DISPLAY=:99 import -window root shot.png
MSG
  exit 0
fi
exec build/bin/Korvandel "$@"
