#!/bin/sh
# Builds everything (library, tools, tests, benchmarks) in the build types
# users pick, with g++ and with clang, warnings as errors: what one compiler
# or optimisation level sees and another does not shows here. Builds only;
# the tests run in tools/run-tests.sh. Expects tools/install-deps.sh.
#   tools/run-builds.sh [gcc:TYPE|clang:TYPE ...]
set -eu
cd "$(dirname "$0")/.."
# By default the build CI adds to the sanitizers' Debug and the tests'
# Release with g++: Release with clang.
[ $# -gt 0 ] || set -- clang:Release
for build in "$@"; do
  compiler=${build%%:*}
  type=${build#*:}
  case "$compiler" in
    gcc) cc=gcc cxx=g++ ;;
    clang) cc=clang cxx=clang++ ;;
    *) echo "usage: $0 [gcc:TYPE|clang:TYPE ...]" >&2; exit 2 ;;
  esac
  dir=build-$compiler-$type
  echo "=== $compiler $type"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE="$type" -DVKT_WERROR=ON \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
done
