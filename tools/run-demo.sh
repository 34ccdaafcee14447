#!/bin/sh
# Installs what is needed, builds, and runs the demo: emulated cameras and
# the command-line tool, together in a private network namespace.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVKT_BUILD_TESTS=OFF
cmake --build build -j"$(nproc)" --target vktcli vkt-emulator
tools/netns-run tools/demo.sh build
