#!/usr/bin/env bash
# Starts the demo: the maker's server and the demo shops on loopback, a private
# registry and Windows directory seeded with the demo customer, and the client
# through its launcher. demo/run-demo.sh <build folder> [client arguments]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
# The rest is the client's own command line.
if [ $# -gt 0 ]; then shift; fi
home="$build/demo-home"
mkdir -p "$home/run" "$home/config" "$home/data" "$home/windows" "$home/c"
chmod 700 "$home/run"
export KORVANDEL_REGISTRY="$home/config/registry"
export KORVANDEL_WINDIR="$home/windows"
export KORVANDEL_DRIVE_C="$home/c"
export XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat <<MSG
No display to show the client on. Run the demo under a virtual X server:
  xvfb-run -a -s "-screen 0 1280x800x24" scripts/run.sh
or start one yourself and look at it with a screenshot:
  Xvfb :99 -screen 0 1280x800x24 &  DISPLAY=:99 scripts/run.sh &
  sleep 8; DISPLAY=:99 import -window root shot.png
MSG
  exit 0
fi

"$build/demo/KorvandelDemoSetup" DEMO1001 parts4all
# The client finds the animation server through the registry.
"$build/bin/Animate" /REGSERVER

hosts="$home/hosts.txt"
rm -f "$hosts"
"$build/demo/KorvandelDemoServer" --data "$build/demo/data" --hosts-file "$hosts" \
  --log "$home/requests.log" >"$home/server.out" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [ -s "$hosts" ] && break
  sleep 0.1
done
[ -s "$hosts" ] || { echo "the demo server did not start; see $home/server.out" >&2; exit 1; }
export KORVANDEL_HOSTS="$(cat "$hosts")"
echo "Demo customer DEMO1001 (password parts4all); shops and the maker's server on loopback."
"$build/bin/Korvandel" "$@"
