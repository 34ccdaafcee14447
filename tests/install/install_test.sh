#!/bin/sh
# The installed tree as an application sees it.
#
#   install_test.sh BUILD_DIR SOURCE_DIR
#
# Installs BUILD_DIR into a temporary prefix (cmake --install --prefix) and
# checks its layout; builds tests/install/consumer against it with CMake
# (find_package) and with pkg-config and runs both; builds the getting-started
# example docs/examples/first_camera.c against it the same two ways and runs
# it, and the Python example, against the installed camera emulator: each
# must print a received picture and save it as a JPEG.
#
# The emulator and the example broadcast: this runs only inside a private
# network namespace (tools/netns-run; ctest runs it so). Library users run
# one after the other, never two at once (one process per namespace).
set -eu
if [ $# -ne 2 ]; then
  echo "usage: install_test.sh BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)

fail() {
  echo "install_test: FAIL: $*" >&2
  exit 1
}
checks=0
pass() {
  checks=$((checks + 1))
  echo "ok: $*"
}
# Runs a command with its output in a log; on failure shows the log and fails.
logged() {
  what=$1
  shift
  log="$work/$(echo "$what" | tr -c 'A-Za-z0-9\n' '_').log"
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    fail "$what"
  fi
}

# /proc/net/dev lists the interfaces of this process's network namespace.
interfaces=$(sed -n '3,$s/^ *\([^:]*\):.*/\1/p' /proc/net/dev)
[ "$interfaces" = lo ] || fail "broadcasts would leave this namespace (interfaces: $(echo "$interfaces" | tr "\n" " ")); run under tools/netns-run"

work=$(mktemp -d)
emulator_pid=
cleanup() {
  if [ -n "$emulator_pid" ]; then
    kill "$emulator_pid" 2>/dev/null || true
    wait "$emulator_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
prefix=$work/prefix

# ------------------------------------------------------------ installation
logged "cmake --install" cmake --install "$build" --prefix "$prefix"

major=$(sed -n 's/^#define VKTNETSDK_VERSION_MAJOR \([0-9]*\).*/\1/p' "$source/api/VKTNetSDK11.h")
minor=$(sed -n 's/^#define VKTNETSDK_VERSION_MINOR \([0-9]*\).*/\1/p' "$source/api/VKTNetSDK11.h")
patch=$(sed -n 's/^#define VKTNETSDK_VERSION_PATCH \([0-9]*\).*/\1/p' "$source/api/VKTNetSDK11.h")
version=$major.$minor.$patch
protocol=$(sed -n 's/^#define VKT_SDK_VERSION \([0-9]*\).*/\1/p' "$source/api/VKTNetSDK11.h")

library=$(find "$prefix" -name libVKTNetSDK11.so)
[ -n "$library" ] || fail "no libVKTNetSDK11.so under the prefix"
libdir=$(dirname "$library")
echo "installed into $prefix, libraries in ${libdir#"$prefix"/}"

[ -L "$libdir/libVKTNetSDK11.so" ] && [ "$(readlink "$libdir/libVKTNetSDK11.so")" = "libVKTNetSDK11.so.$major" ] \
  || fail "libVKTNetSDK11.so is not a link to libVKTNetSDK11.so.$major"
[ -L "$libdir/libVKTNetSDK11.so.$major" ] \
  && [ "$(readlink "$libdir/libVKTNetSDK11.so.$major")" = "libVKTNetSDK11.so.$version" ] \
  || fail "libVKTNetSDK11.so.$major is not a link to libVKTNetSDK11.so.$version"
[ -f "$libdir/libVKTNetSDK11.so.$version" ] && [ ! -L "$libdir/libVKTNetSDK11.so.$version" ] \
  || fail "libVKTNetSDK11.so.$version is not a file"
soname=$(objdump -p "$libdir/libVKTNetSDK11.so.$version" | sed -n 's/^ *SONAME *//p')
[ "$soname" = "libVKTNetSDK11.so.$major" ] || fail "the library's soname is '$soname'"
pass "libVKTNetSDK11.so -> .so.$major -> .so.$version, soname $soname"

cmp -s "$prefix/include/VKTNetSDK11.h" "$source/api/VKTNetSDK11.h" || fail "include/VKTNetSDK11.h differs from the header"
pass "include/VKTNetSDK11.h"

cmakedir=$libdir/cmake/VKTNetSDK
for file in VKTNetSDKConfig.cmake VKTNetSDKConfigVersion.cmake VKTNetSDKTargets.cmake; do
  [ -f "$cmakedir/$file" ] || fail "no ${cmakedir#"$prefix"/}/$file"
done
pass "CMake package in ${cmakedir#"$prefix"/}"
pcfile=$libdir/pkgconfig/vktnetsdk.pc
[ -f "$pcfile" ] || fail "no ${pcfile#"$prefix"/}"
grep -qx "prefix=$prefix" "$pcfile" || fail "vktnetsdk.pc does not name the install prefix: $(grep '^prefix=' "$pcfile")"
pass "pkg-config file ${pcfile#"$prefix"/} for prefix $prefix"
for tool in vktcli vkt-emulator vkt-console; do
  [ -x "$prefix/bin/$tool" ] || fail "no bin/$tool"
done
pass "bin/vktcli, bin/vkt-emulator, bin/vkt-console"
# The installed console finds the installed library by itself too.
env -u LD_LIBRARY_PATH "$prefix/bin/vkt-console" --help >"$work/console-help.out" 2>&1 ||
  { cat "$work/console-help.out" >&2; fail "bin/vkt-console --help failed"; }
pass "bin/vkt-console starts"

# Nothing installed may point back into the build or the source tree.
if grep -rlF -e "$build" -e "$source" "$cmakedir" "$pcfile" >"$work/leaks"; then
  fail "installed files name the build or source tree: $(cat "$work/leaks")"
fi
pass "the CMake and pkg-config files do not name the build or source tree"

# ------------------------------------------------------------ the consumer
expected=$work/consumer.expected
cat >"$expected" <<EOF
VKTNetSDK $version protocol $protocol
before init: last error 0x00000000, VKT_DelCamera 1, last error 0xffffffff
VKT_Init 0, supported version $protocol
after init: VKT_DelCamera 1, last error 0x80000002
VKT_Close 0
EOF

# CMake, finding the package through CMAKE_PREFIX_PATH only.
logged "configure the consumer with CMake" cmake -S "$source/tests/install/consumer" -B "$work/consumer-cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_C_FLAGS="-Wall -Wextra -Werror"
logged "build the consumer with CMake" cmake --build "$work/consumer-cmake"
found=$(sed -n 's/^VKTNetSDK_DIR:[A-Z]*=//p' "$work/consumer-cmake/CMakeCache.txt")
[ "$found" = "$cmakedir" ] || fail "find_package(VKTNetSDK) took $found, not $cmakedir"
pass "consumer built with find_package(VKTNetSDK) from $found"

# pkg-config.
export PKG_CONFIG_PATH="$libdir/pkgconfig"
modversion=$(pkg-config --modversion vktnetsdk) || fail "pkg-config does not find vktnetsdk"
[ "$modversion" = "$version" ] || fail "pkg-config says version $modversion"
flags=$(pkg-config --cflags --libs vktnetsdk)
logged "build the consumer with pkg-config" \
  cc -Wall -Wextra -Werror "$source/tests/install/consumer/consumer.c" $flags -o "$work/consumer-pkgconfig"
pass "consumer built with pkg-config ($flags)"

# Both load the installed library and print what the header promises.
for consumer in "$work/consumer-cmake/consumer" "$work/consumer-pkgconfig"; do
  loaded=$(LD_LIBRARY_PATH=$libdir LD_TRACE_LOADED_OBJECTS=1 "$consumer" | sed -n 's/^[[:space:]]*libVKTNetSDK11\.so\.[0-9]* => \([^ ]*\).*/\1/p')
  [ "$loaded" = "$libdir/libVKTNetSDK11.so.$major" ] || fail "${consumer##*/} loads '$loaded'"
  if ! LD_LIBRARY_PATH=$libdir timeout 30 "$consumer" >"$work/consumer.out" 2>&1; then
    cat "$work/consumer.out" >&2
    fail "${consumer#"$work"/} failed"
  fi
  if ! diff "$expected" "$work/consumer.out" >"$work/consumer.diff"; then
    cat "$work/consumer.diff" >&2
    fail "${consumer#"$work"/} printed something else"
  fi
  pass "${consumer#"$work"/} ran against the installed library"
done
cat "$work/consumer.out"

# ------------------------------------------------------------ getting started
logged "configure first_camera with CMake" cmake -S "$source/docs/examples" -B "$work/example-cmake" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_C_FLAGS="-Wall -Wextra -Werror"
logged "build first_camera with CMake" cmake --build "$work/example-cmake"
logged "build first_camera with pkg-config" \
  cc -Wall -Wextra -Werror "$source/docs/examples/first_camera.c" $flags -pthread -o "$work/first_camera-pkgconfig"
pass "docs/examples/first_camera.c built with CMake and with pkg-config"

# The installed emulator plays one camera; wait (bounded) for its 'ready'.
"$prefix/bin/vkt-emulator" --control 0 --exit-after 240 \
  --camera ip=127.0.0.10,mac=00:1c:27:00:00:10,model=VKT-N2F0Kq,port=30000,mask=255.255.255.0,gateway=127.0.0.1,name=gate-north \
  >"$work/emulator.out" 2>&1 &
emulator_pid=$!
polls=0
until grep -qx ready "$work/emulator.out"; do
  polls=$((polls + 1))
  if [ "$polls" -gt 400 ] || ! kill -0 "$emulator_pid" 2>/dev/null; then
    cat "$work/emulator.out" >&2
    fail "the installed vkt-emulator did not get ready within 20 s"
  fi
  sleep 0.05
done
pass "bin/vkt-emulator ready"

# The installed vktcli finds the installed library by itself (no
# LD_LIBRARY_PATH).
if ! env -u LD_LIBRARY_PATH timeout 30 "$prefix/bin/vktcli" search --timeout 500 >"$work/search.out" 2>&1; then
  cat "$work/search.out" >&2
  fail "bin/vktcli search failed"
fi
grep -q '127\.0\.0\.10 .*VKT-N2F0Kq' "$work/search.out" || { cat "$work/search.out" >&2; fail "bin/vktcli search did not list the camera"; }
pass "bin/vktcli search found the emulated camera"

# A run of an example must report the picture and leave a JPEG of that size.
check_picture_run() {
  what=$1
  out=$2
  picture=$3
  grep -q '^search: 1 camera(s)$' "$out" || { cat "$out" >&2; fail "$what did not find the camera"; }
  grep -q '^image rotation: [0-9]* degrees$' "$out" || { cat "$out" >&2; fail "$what did not read the rotation"; }
  bytes=$(sed -n 's/^received picture: \([0-9]*\) bytes, value 7, .*/\1/p' "$out")
  [ -n "$bytes" ] || { cat "$out" >&2; fail "$what printed no received picture with value 7"; }
  [ -f "$picture" ] || fail "$what saved no picture"
  size=$(wc -c <"$picture" | tr -d ' ')
  head=$(od -An -tx1 -N2 "$picture" | tr -d ' \n')
  tail=$(tail -c 2 "$picture" | od -An -tx1 | tr -d ' \n')
  [ "$size" = "$bytes" ] && [ "$head" = ffd8 ] && [ "$tail" = ffd9 ] \
    || fail "$what: the saved picture is not the $bytes-byte JPEG (size $size, starts $head, ends $tail)"
  pass "$what received a $bytes-byte JPEG picture"
}

run_example() {
  what=$1
  out=$2
  shift 2
  if ! (cd "$work" && "$@") >"$out" 2>&1; then
    cat "$out" >&2
    fail "$what failed"
  fi
  cat "$out"
}

run_example "first_camera (CMake)" "$work/first-cmake.out" \
  env LD_LIBRARY_PATH="$libdir" timeout 60 "$work/example-cmake/first_camera" 127.0.0.10 "$work/first-cmake.jpg"
check_picture_run "first_camera (CMake)" "$work/first-cmake.out" "$work/first-cmake.jpg"

# With no address: the first camera found, default output file name.
run_example "first_camera (pkg-config)" "$work/first-pkgconfig.out" \
  env LD_LIBRARY_PATH="$libdir" timeout 60 "$work/first_camera-pkgconfig"
check_picture_run "first_camera (pkg-config)" "$work/first-pkgconfig.out" "$work/first_camera.jpg"

# The Python example, through the binding's sources and the installed library.
# Debian's interpreter by default, as python/run_tests.sh uses.
python=${VKTNET_PYTHON:-/usr/bin/python3}
[ -x "$python" ] || fail "no Python interpreter at $python (tools/install-deps.sh installs python3)"
run_example "first_camera.py" "$work/first-python.out" \
  env PYTHONPATH="$source/python" PYTHONDONTWRITEBYTECODE=1 VKTNET_LIBRARY="$libdir/libVKTNetSDK11.so.$major" \
  timeout 60 "$python" "$source/docs/examples/first_camera.py" 127.0.0.10 "$work/first-python.jpg"
check_picture_run "first_camera.py" "$work/first-python.out" "$work/first-python.jpg"

echo "install_test: all $checks checks passed"
