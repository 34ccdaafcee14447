# Shell helpers of the test scripts. A script sets script_name (the prefix
# of its messages) and sources this file:
#   script_name=NAME
#   . "$(dirname "$0")/RELATIVE/tests/script_support.sh"
# die and remove_work use $work, the script's temporary folder, and die
# shows the tails of the logs in it that $failure_logs names.

# need_args COUNT GIVEN USAGE: stops (exit 2) with USAGE unless GIVEN is COUNT.
need_args() {
  [ "$2" -eq "$1" ] && return 0
  echo "usage: $3" >&2
  exit 2
}

# need_tools TOOL...: stops (exit 1) naming the first TOOL not on the PATH.
need_tools() {
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 || { echo "$script_name: $tool is missing" >&2; exit 1; }
  done
}

# Stops (exit 1) unless loopback is this namespace's only interface: the
# scripts broadcast, and must reach nothing beyond the namespace.
need_private_namespace() {
  if ip -o link show | grep -v ': lo:' | grep -q .; then
    echo "$script_name: run me inside tools/netns-run (this namespace has more than loopback)" >&2
    exit 1
  fi
}

# Stops one of our own processes: politely, then for sure, within 5 s.
stop_process() {
  [ -n "$1" ] || return 0
  kill -INT "$1" 2>/dev/null || return 0
  i=0
  while kill -0 "$1" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

# Removes $work, or names it when KEEP_WORK is set (to look at after a failure).
remove_work() {
  if [ -n "${KEEP_WORK-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}

die() {
  echo "$script_name: $*" >&2
  for log in ${failure_logs-}; do
    [ -s "$work/$log" ] && { echo "--- $log" >&2; tail -n 20 "$work/$log" >&2; }
  done
  exit 1
}

# wait_for SECONDS CONDITION...: polls CONDITION (shell words, evaluated
# each time) every 50 ms for at most SECONDS; fails when it never held.
wait_for() {
  seconds=$1
  shift
  i=0
  while ! eval "$*" >/dev/null 2>&1; do
    i=$((i + 1))
    [ $i -gt $((seconds * 20)) ] && return 1
    sleep 0.05
  done
  return 0
}

# One line to the emulator's control channel on $control_port; prints its
# first reply line.
control() {
  timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
    printf "%s\n" "$2" >&3
    IFS= read -r -t 5 line <&3 || exit 1
    printf "%s\n" "$line"' control "$control_port" "$*"
}
