#!/bin/sh
# Installs what is needed, builds everything and runs the whole test suite.
# Every test runs in a private network namespace of its own (tools/netns-run),
# so no broadcast leaves the machine.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"
# A test that fails on a loaded machine gets one more try; a real fault fails twice.
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 120 --repeat until-pass:2
