#!/bin/sh
# Checks that the documentation keeps up with the public header:
#  - every VKT_API function and every callback type of the header has its
#    own section in the API reference (a heading "### `NAME`"), and every
#    such section names something the header still declares;
#  - every VKT_ERR_* code of the header is described in the API reference
#    and in the troubleshooting guide.
#
#   check_api_reference.sh HEADER API_REFERENCE TROUBLESHOOTING
#
# Exits 0 when all is covered; otherwise lists what is missing and exits 1.
set -eu
script_name=check_api_reference
. "$(dirname "$0")/../script_support.sh"
need_args 3 $# "check_api_reference.sh HEADER API_REFERENCE TROUBLESHOOTING"
header=$1 reference=$2 troubleshooting=$3
for file in "$header" "$reference" "$troubleshooting"; do
  [ -r "$file" ] || { echo "$script_name: cannot read $file" >&2; exit 2; }
done

work=$(mktemp -d)
trap remove_work EXIT

# Declarations start "VKT_API <type> NAME(" on one line (arguments may go on).
sed -n 's/^[[:space:]]*VKT_API[[:space:]].*[^A-Za-z0-9_]\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*(.*/\1/p' "$header" \
  >"$work/declared"
# The callback types are documented as sections of their own too.
sed -n 's/^[[:space:]]*typedef[^(]*([[:space:]]*\*[[:space:]]*\([A-Za-z_][A-Za-z0-9_]*\)[[:space:]]*).*/\1/p' "$header" \
  >>"$work/declared"
sort -u -o "$work/declared" "$work/declared"
sed -n 's/^### `\([A-Za-z_][A-Za-z0-9_]*\)`.*/\1/p' "$reference" | sort -u >"$work/documented"
grep -o '#define VKT_ERR_[A-Z0-9_]*' "$header" | sed 's/#define //' | sort -u >"$work/codes"

declared=$(wc -l <"$work/declared" | tr -d ' ')
codes=$(wc -l <"$work/codes" | tr -d ' ')
# A header the pattern no longer reads must not pass as "nothing missing".
if [ "$declared" -lt 1 ] || [ "$codes" -lt 1 ]; then
  echo "check_api_reference: found $declared functions and $codes error codes in $header" >&2
  exit 1
fi

status=0
missing=$(comm -23 "$work/declared" "$work/documented")
if [ -n "$missing" ]; then
  echo "functions and callback types of $header without a section in $reference:"
  echo "$missing" | sed 's/^/  /'
  status=1
fi
stale=$(comm -13 "$work/declared" "$work/documented")
if [ -n "$stale" ]; then
  echo "sections of $reference for names $header does not declare:"
  echo "$stale" | sed 's/^/  /'
  status=1
fi
for code in $(cat "$work/codes"); do
  for doc in "$reference" "$troubleshooting"; do
    if ! grep -q "\`$code\`" "$doc"; then
      echo "error code $code is not described in $doc"
      status=1
    fi
  done
done

if [ "$status" -eq 0 ]; then
  echo "check_api_reference: the $declared functions and callback types and the $codes error codes of the header are all documented"
fi
exit "$status"
