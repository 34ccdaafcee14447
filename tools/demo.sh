#!/bin/sh
# The demo, run inside a private network namespace by tools/run-demo.sh:
# three emulated cameras, found, one moved to a new address, found again,
# then settings, a snapshot, the video stream and the SD card's pictures.
set -eu
build=${1:-build}
emulator="$build/tools/emulator/vkt-emulator"
cli="$build/tools/cli/vktcli"
work=$(mktemp -d)
trap 'kill "$emulator_pid" 2>/dev/null || true; rm -rf "$work"' EXIT

"$emulator" \
  --camera ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-north \
  --camera ip=127.0.0.11,mac=00:1c:27:00:00:11,model=VKT-R6E0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-south \
  --camera ip=127.0.0.12,mac=00:1c:27:00:00:12,model=VKT-N2F0Kp,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=toll-lane-3 \
  >"$work/emulator.out" &
emulator_pid=$!
# Wait (bounded) for the emulator to say its sockets are open.
tries=0
until grep -q '^ready$' "$work/emulator.out" 2>/dev/null; do
  tries=$((tries + 1))
  if [ "$tries" -gt 200 ] || ! kill -0 "$emulator_pid" 2>/dev/null; then
    echo "demo: the camera emulator did not start" >&2
    exit 1
  fi
  sleep 0.05
done

run() {
  echo
  echo "\$ vktcli $*"
  "$cli" "$@"
}
run search --timeout 1000
run search --timeout 500 --json
run change-ip --mac 00:1c:27:00:00:12 --ip 127.0.0.42 --netmask 255.255.0.0
run search --timeout 500
run add --ip 127.0.0.10 --timeout 500
run state --ip 127.0.0.10 --timeout 300
run get device-info --ip 127.0.0.10 --timeout 300
run get rotation --ip 127.0.0.10 --timeout 300
run set rotation 180 --ip 127.0.0.10 --timeout 300
run get rotation --ip 127.0.0.10 --timeout 300 --json
run get ae-param --ip 127.0.0.10 --timeout 300
run save --ip 127.0.0.10 --timeout 300
run snap --ip 127.0.0.10 --timeout 1000 --out "$PWD/snapshot.jpg"
run stream --ip 127.0.0.10 --timeout 500 --frames 10

# The SD card: its state, the root and one directory, one picture fetched
# and a whole directory pulled, each file checked to be a JPEG.
jpeg_check() {
  for file in "$@"; do
    head=$(od -An -tx1 -N2 "$file" | tr -d ' \n')
    tail=$(tail -c 2 "$file" | od -An -tx1 | tr -d ' \n')
    verdict="not a JPEG"
    if [ "$head" = ffd8 ] && [ "$tail" = ffd9 ]; then verdict="a JPEG (starts FF D8, ends FF D9)"; fi
    printf '  %s: %s bytes, %s\n' "${file##*/}" "$(wc -c <"$file" | tr -d ' ')" "$verdict"
  done
}
run sd state --ip 127.0.0.10 --timeout 500
run sd ls --ip 127.0.0.10 --timeout 500
directory=$("$cli" sd ls --ip 127.0.0.10 --timeout 500 | awk '$2 == "directory" { print $1; exit }')
run sd ls "/$directory" --ip 127.0.0.10 --timeout 500
picture=$("$cli" sd ls "/$directory" --ip 127.0.0.10 --timeout 500 | awk '$3 == "bytes" { print $1; exit }')
run sd get "/$directory/$picture" -o "$work/$picture" --ip 127.0.0.10 --timeout 500
jpeg_check "$work/$picture"
run sd pull "/$directory" "$work/pulled" --ip 127.0.0.10 --timeout 500
jpeg_check "$work/pulled"/*
