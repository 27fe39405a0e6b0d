#!/bin/sh
# Checks that every tracked C/C++ file is as clang-format leaves it, under the
# root .clang-format. Lists the files that are not and exits 1; exits 2 when
# clang-format is missing, is not version 14 (other versions lay out the same
# code differently, so the answer would depend on the machine) or fails.
# CLANG_FORMAT names the binary to use (default: clang-format).
set -eu
root=$(CDPATH='' cd -- "$(dirname -- "$0")/.." && pwd)
cf=${CLANG_FORMAT:-clang-format}

if ! version=$("$cf" --version 2>/dev/null); then
  echo "check-format: cannot run '$cf'; install clang-format 14 or set CLANG_FORMAT" >&2
  exit 2
fi
case $version in
  *"clang-format version 14."*) ;;
  *)
    echo "check-format: clang-format 14 is required, '$cf' is: $version" >&2
    exit 2
    ;;
esac

cd "$root"
files=$(git ls-files -- '*.c' '*.cpp' '*.h' '*.hpp')
if [ -z "$files" ]; then
  echo "format: 0 C++ files formatted"
  exit 0
fi
# One path per line; no globbing of the names.
set -f
IFS='
'
# shellcheck disable=SC2086
set -- $files
unset IFS
set +f

if report=$("$cf" --dry-run --Werror -- "$@" 2>&1); then
  echo "format: $# C++ files formatted"
  exit 0
fi
unformatted=$(printf '%s\n' "$report" |
  sed -n 's/^\(.*\):[0-9][0-9]*:[0-9][0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ -z "$unformatted" ]; then
  # Not a layout complaint: a bad .clang-format, an unreadable file...
  printf '%s\n' "$report" >&2
  echo "check-format: clang-format failed" >&2
  exit 2
fi
echo "format: not formatted (clang-format -i FILE fixes them):"
printf '%s\n' "$unformatted" | sed 's/^/  /'
echo "format: $(printf '%s\n' "$unformatted" | wc -l | tr -d ' ') of $# C++ files unformatted"
exit 1
