#!/bin/sh
# Installs the vktnet package offline into a fresh virtual environment and
# runs its tests against that installation (not the source tree).
#
#   run_tests.sh [LIBRARY [EMULATOR]]
#
# LIBRARY and EMULATOR default to $VKTNET_LIBRARY and $VKTNET_EMULATOR. The
# tests broadcast and start the camera emulator: run this under
# tools/netns-run (ctest does). $VKTNET_PYTHON picks the interpreter
# (default: Debian's /usr/bin/python3).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ge 1 ]; then VKTNET_LIBRARY=$1; fi
if [ $# -ge 2 ]; then VKTNET_EMULATOR=$2; fi
: "${VKTNET_LIBRARY:?give the library path (argument or VKTNET_LIBRARY)}"
: "${VKTNET_EMULATOR:?give the emulator path (argument or VKTNET_EMULATOR)}"
python=${VKTNET_PYTHON:-/usr/bin/python3}
# The tests run from another folder: make relative paths absolute (a bare
# library name stays as it is, for the dynamic loader to find).
absolute() {
  case $1 in
    /*) echo "$1" ;;
    */*) echo "$PWD/$1" ;;
    *) echo "$1" ;;
  esac
}
VKTNET_LIBRARY=$(absolute "$VKTNET_LIBRARY")
VKTNET_EMULATOR=$(absolute "$VKTNET_EMULATOR")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

# Built from a copy: pip writes build/ and *.egg-info next to the sources.
mkdir "$work/src"
cp -R "$here/pyproject.toml" "$here/README.md" "$here/vktnet" "$work/src/"
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --disable-pip-version-check \
  --no-build-isolation --no-index "$work/src"

# Run from the temporary folder so that the import finds the installed copy.
cd "$work"
installed=$("$work/venv/bin/python" -c 'import vktnet; print(vktnet.__file__)')
case $installed in
  "$work/venv/"*) ;;
  *) echo "run_tests: vktnet was imported from $installed, not from the new environment" >&2; exit 1 ;;
esac

export VKTNET_LIBRARY VKTNET_EMULATOR
export PYTHONDONTWRITEBYTECODE=1
status=0
"$work/venv/bin/python" -m unittest discover -v -s "$here/tests" -t "$here/tests" || status=$?
exit "$status"
