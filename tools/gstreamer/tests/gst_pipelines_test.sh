#!/bin/sh
# vktsrc through GStreamer's own tools, beside the vkt-emulator program:
# gst-inspect-1.0 shows the element; a pipeline to EOS for each source; a
# Matroska recording read back frame by frame; the error for a missing
# camera; loading the plugin leaves the library's one-process claim alone;
# the installed plugin is found and runs.
#
# Run inside a private network namespace (the element searches by broadcast):
#   tools/netns-run sh gst_pipelines_test.sh BUILD_DIR VKT_EMULATOR INSTANCE_PROBE
set -u

script_name=gst_pipelines_test
. "$(dirname "$0")/../../../tests/script_support.sh"
need_args 3 $# "gst_pipelines_test.sh BUILD_DIR VKT_EMULATOR INSTANCE_PROBE"
build=$1
emulator=$2
probe=$3
plugin_dir=$build/gstreamer-1.0
need_tools gst-inspect-1.0 gst-launch-1.0 gst-discoverer-1.0 timeout bash
need_private_namespace

work=$(mktemp -d)
failure_logs="emulator.out launch.out"
control_port=34998
emulator_pid=
holder_pid=
# A registry of our own: the scan loads the plugin from the build tree.
export GST_REGISTRY="$work/registry.bin"
export GST_PLUGIN_PATH="$plugin_dir"

cleanup() {
  stop_process "$holder_pid"
  stop_process "$emulator_pid"
  remove_work
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

pass() { echo "ok: $*"; }

# ------------------------------------------------------------ inspection
timeout 60 gst-inspect-1.0 vktsrc >"$work/inspect.out" 2>&1 || die "gst-inspect-1.0 vktsrc failed: $(cat "$work/inspect.out")"
for property in address source interval timeout max-buffers leaky camera-handle statistics; do
  grep -q "^  $property  *:" "$work/inspect.out" || die "gst-inspect-1.0 does not show the property $property"
done
grep -q 'image/jpeg' "$work/inspect.out" || die "gst-inspect-1.0 does not show image/jpeg caps"
grep -q 'stream  *- ' "$work/inspect.out" && grep -q 'snapshots  *- ' "$work/inspect.out" || die "the source values are not listed"
pass "gst-inspect-1.0 vktsrc shows the element, its caps and properties"

# The plugin itself needs no camera library: the element loads it.
if objdump -p "$plugin_dir/libgstvktnet.so" | grep NEEDED | grep -q VKTNetSDK11; then
  die "libgstvktnet.so links libVKTNetSDK11 (its load would take the one-process claim)"
fi
pass "libgstvktnet.so does not link the camera library"

# ------------------------------------------------------- the one process
# A process holds the library; a fresh registry scan and an inspection
# load the plugin beside it and must leave it alone.
"$probe" hold >"$work/holder.out" 2>&1 &
holder_pid=$!
wait_for 10 "grep -q . '$work/holder.out'" || die "the holding process did not start"
[ "$(cat "$work/holder.out")" = 0 ] || die "the holding process could not start the library: $(cat "$work/holder.out")"
rm -f "$GST_REGISTRY"
timeout 60 gst-inspect-1.0 vktnet >"$work/inspect2.out" 2>&1 || die "gst-inspect-1.0 beside a library user failed"
grep -q vktsrc "$work/inspect2.out" || die "the registry scan beside a library user lost the element"
kill -0 "$holder_pid" 2>/dev/null || die "the holding process died"
# And the element refuses cleanly, naming why, while the other one holds it.
timeout 30 gst-launch-1.0 vktsrc address=127.0.0.10 timeout=500 ! fakesink >"$work/launch.out" 2>&1 && die "a pipeline started beside a library user"
grep -q 'another process' "$work/launch.out" || die "the refusal does not say another process uses the library"
stop_process "$holder_pid"
holder_pid=
pass "plugin loads and registry scans leave the library's one-process claim to its user"

# ------------------------------------------------------------ pipelines
"$emulator" --camera ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000 \
  --control "$control_port" >"$work/emulator.out" 2>&1 &
emulator_pid=$!
wait_for 20 "grep -q '^ready' '$work/emulator.out'" || die "the emulator did not get ready"
control "triggers 0 20" | grep -q '^ok' || die "the emulator did not take the trigger rate"

for source in stream pictures snapshots; do
  start=$(date +%s%N)
  timeout 60 gst-launch-1.0 vktsrc address=127.0.0.10 source=$source interval=100 timeout=1000 \
    ! jpegdec ! fakesink num-buffers=30 >"$work/launch.out" 2>&1 || die "source=$source did not run to EOS"
  grep -q 'Got EOS' "$work/launch.out" || die "source=$source: no EOS"
  pass "vktsrc source=$source ! jpegdec ! fakesink num-buffers=30 ran to EOS in $(( ($(date +%s%N) - start) / 1000000 )) ms"
done

# A recording, read back: every frame, at the camera's size.
recording=$work/camera.mkv
timeout 60 gst-launch-1.0 -e vktsrc address=127.0.0.10 timeout=1000 num-buffers=30 \
  ! matroskamux ! filesink location="$recording" >"$work/launch.out" 2>&1 || die "the recording pipeline failed"
[ -s "$recording" ] || die "the recording is empty"
timeout 60 gst-discoverer-1.0 "$recording" >"$work/discover.out" 2>&1 || die "gst-discoverer-1.0 failed: $(cat "$work/discover.out")"
grep -qi 'image/jpeg\|jpeg' "$work/discover.out" || die "the recording holds no JPEG video: $(cat "$work/discover.out")"
grep -q 'Width: 320' "$work/discover.out" && grep -q 'Height: 240' "$work/discover.out" \
  || die "the recording's size is not 320x240: $(cat "$work/discover.out")"
timeout 60 gst-launch-1.0 -v filesrc location="$recording" ! matroskademux ! jpegdec \
  ! fakesink silent=false >"$work/readback.out" 2>&1 || die "the recording does not decode"
frames=$(grep -c 'last-message = chain' "$work/readback.out")
[ "$frames" -eq 30 ] || die "the recording holds $frames frames, not 30"
pass "a Matroska recording of 30 frames reads back with 30 decoded 320x240 frames"

# A missing camera: an element error naming the library's code.
timeout 30 gst-launch-1.0 vktsrc address=127.0.0.99 timeout=500 ! fakesink >"$work/launch.out" 2>&1 \
  && die "a pipeline on a missing camera ran"
grep -q 'VKT_ERR_CAMERA_NOT_FOUND' "$work/launch.out" || die "the error does not name VKT_ERR_CAMERA_NOT_FOUND"
pass "a missing camera fails with VKT_ERR_CAMERA_NOT_FOUND"

# ------------------------------------------------------------ installed
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.out" 2>&1 || die "cmake --install failed: $(tail -5 "$work/install.out")"
installed=$(find "$prefix" -name libgstvktnet.so)
[ -n "$installed" ] || die "cmake --install installed no libgstvktnet.so"
rm -f "$GST_REGISTRY"
GST_PLUGIN_PATH=$(dirname "$installed") timeout 60 gst-inspect-1.0 vktnet >"$work/inspect3.out" 2>&1 \
  || die "gst-inspect-1.0 does not find the installed plugin"
grep -q "$installed" "$work/inspect3.out" || die "gst-inspect-1.0 took another plugin file than $installed"
GST_PLUGIN_PATH=$(dirname "$installed") timeout 60 gst-launch-1.0 vktsrc address=127.0.0.10 timeout=1000 \
  ! fakesink num-buffers=5 >"$work/launch.out" 2>&1 || die "the installed plugin did not run"
pass "the installed ${installed#"$prefix"/} is found by gst-inspect-1.0 and runs with the installed library"
