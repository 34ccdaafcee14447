#!/bin/sh
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS (default 30) on a copy of its seed corpus, inside
# a private network namespace (tools/netns-run). Prints the executions of each
# target; fails when any target finds a crash, a leak or a time-out, leaving
# the input that caused it and the command that reproduces it.
#
#   fuzz/run.sh [SECONDS]
set -eu

SECONDS_EACH=${1:-30}
case $SECONDS_EACH in
  '' | *[!0-9]*) echo "usage: fuzz/run.sh [SECONDS]" >&2; exit 2 ;;
esac

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${VKT_FUZZ_BUILD:-$ROOT/build-fuzz}
TARGETS="discovery_answer change_ip_confirmation directory_listing picture_framing stream_packets config_file command_replies"

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT/fuzz" -B "$BUILD" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
fi
cmake --build "$BUILD" -j2

# Inputs larger than the default 4 KiB where a case needs several packets or
# several replies.
max_len() {
  case $1 in
    stream_packets) echo 12288 ;;
    command_replies) echo 8192 ;;
    *) echo 4096 ;;
  esac
}

RUNS=$BUILD/runs
failed=""
for target in $TARGETS; do
  dir=$RUNS/$target
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "$ROOT/fuzz/corpus/$target/"* "$dir/corpus/"
  log=$dir/fuzz.log
  status=0
  # The time-out bounds the whole run, corpus loading and a slow last input
  # included.
  timeout --kill-after=10 $((SECONDS_EACH + 300)) \
    "$ROOT/tools/netns-run" "$BUILD/fuzz_$target" \
      -max_total_time="$SECONDS_EACH" -print_final_stats=1 -timeout=10 \
      -max_len="$(max_len "$target")" -artifact_prefix="$dir/artifacts/" \
      "$dir/corpus" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=$(find "$dir/artifacts" -type f | head -n 1)
  if [ "$status" -ne 0 ] || [ -n "$found" ]; then
    failed="$failed $target"
    echo "$target: FAILED (exit $status) after ${execs:-?} executions; log: $log"
    grep -E '^(==[0-9]+== ?ERROR|SUMMARY)' "$log" | head -n 5 || true
    if [ -n "$found" ]; then
      echo "  input: $found"
      echo "  reproduce: $ROOT/tools/netns-run $BUILD/fuzz_$target $found"
    fi
  else
    echo "$target: ${execs:-?} executions in ${SECONDS_EACH} s (${rate:-?}/s)"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzzing found problems in:$failed" >&2
  exit 1
fi
echo "no crash, leak or time-out in any target"
