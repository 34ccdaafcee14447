#!/bin/sh
# Installs what is needed, builds everything and runs the whole test suite.
# Every test runs in a private network namespace of its own (tools/netns-run),
# so no broadcast leaves the machine.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
# Release, as users ship it: the optimiser's warnings (g++'s bounds and
# overlap checks) show here, as errors.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVKT_WERROR=ON
cmake --build build -j"$(nproc)"
# Every test runs once: a test that fails under load is a fault to find.
ctest --test-dir build --output-on-failure -j"$(nproc)" --timeout 120
