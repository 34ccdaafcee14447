#!/bin/sh
# Installs what is needed, builds, and starts the field console beside three
# emulated cameras, all in a private network namespace (loopback only, so
# the console's camera search never leaves it). Only the web port is brought
# out, onto this host's loopback through a Unix socket (socat at both ends),
# and the URL to open in a browser on this machine is printed. Ctrl-C stops
# everything.
#
#   VKT_CONSOLE_PORT   the host port (default 8080)
#   VKT_BUILD_DIR      the build folder (default build)
#   VKT_SKIP_INSTALL=1 leave out tools/install-deps.sh (packages already there)
set -eu
self=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
cd "$(dirname "$0")/.."
build=${VKT_BUILD_DIR:-build}
port=${VKT_CONSOLE_PORT:-8080}

# wait_for TENTHS PID WHAT COMMAND...: until COMMAND succeeds, while PID
# lives, for at most TENTHS tenths of a second; else says WHAT failed.
wait_for() {
  limit=$1 pid=$2 what=$3
  shift 3
  tries=0
  until "$@"; do
    tries=$((tries + 1))
    if [ $tries -gt "$limit" ] || ! kill -0 "$pid" 2>/dev/null; then
      echo "run-console: $what" >&2
      return 1
    fi
    sleep 0.1
  done
}

if [ "${1-}" = --inside ]; then
  # In the namespace: the cameras, the console, and the relay from the
  # socket to the console's port.
  socket=$2
  out=$3
  emulator_pid=
  console_pid=
  relay_pid=
  stop() {
    [ -n "$relay_pid" ] && kill -TERM "$relay_pid" 2>/dev/null
    [ -n "$console_pid" ] && kill -INT "$console_pid" 2>/dev/null && wait "$console_pid" 2>/dev/null
    [ -n "$emulator_pid" ] && kill -TERM "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
    exit 0
  }
  trap stop INT TERM HUP
  "$build/tools/emulator/vkt-emulator" --control 34998 \
    --camera ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-north \
    --camera ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-R6E0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-south \
    --camera ip=127.0.0.12,mac=00:1c:27:00:00:12,model=VKT-N2F0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=toll-lane-3 \
    >"$out/emulator.out" 2>&1 &
  emulator_pid=$!
  wait_for 100 "$emulator_pid" "the camera emulator did not start" grep -q '^ready$' "$out/emulator.out" || exit 1
  # A triggered picture every few seconds, so the picture wall has some.
  printf 'triggers 0 0.2\n' | timeout 5 bash -c 'exec 3<>/dev/tcp/127.0.0.1/34998; cat >&3; head -n 1 <&3' >/dev/null || true
  "$build/tools/console/vkt-console" --listen 127.0.0.1:8080 >"$out/console.out" 2>&1 &
  console_pid=$!
  socat UNIX-LISTEN:"$socket",fork,mode=600 TCP:127.0.0.1:8080 >"$out/relay-inside.out" 2>&1 &
  relay_pid=$!
  while kill -0 "$console_pid" 2>/dev/null; do sleep 1; done
  stop
fi

[ "${VKT_SKIP_INSTALL-}" = 1 ] || tools/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target vkt-console vkt-emulator

work=$(mktemp -d)
chmod 700 "$work"
socket=$work/console.sock
inside_pid=
outside_pid=
finish() {
  [ -n "$outside_pid" ] && kill -TERM "$outside_pid" 2>/dev/null
  [ -n "$inside_pid" ] && kill -TERM "$inside_pid" 2>/dev/null && wait "$inside_pid" 2>/dev/null
  rm -rf "$work"
}
trap 'finish; exit 0' INT TERM HUP
trap finish EXIT

tools/netns-run sh "$self" --inside "$socket" "$work" &
inside_pid=$!
console_ready() { grep -q '^console: ' "$work/console.out" 2>/dev/null && [ -S "$socket" ]; }
wait_for 300 "$inside_pid" "the console did not start" console_ready || {
  cat "$work"/*.out >&2 2>/dev/null || true
  exit 1
}
socat TCP-LISTEN:"$port",bind=127.0.0.1,reuseaddr,fork UNIX-CONNECT:"$socket" >"$work/relay-outside.out" 2>&1 &
outside_pid=$!
listening() { ss -Hltn "sport = :$port" | grep -q .; }
wait_for 100 "$outside_pid" "cannot listen on 127.0.0.1:$port (VKT_CONSOLE_PORT picks another port)" listening || exit 1
token=$(sed -n 's/^console: .*#token=//p' "$work/console.out")
echo "Three emulated cameras and the field console run in a private network namespace."
echo "Open this in a browser on this machine (Ctrl-C here stops it all):"
echo
echo "  console: http://127.0.0.1:$port/#token=$token"
echo
wait "$inside_pid"
