#!/bin/sh
# wine-prefix.sh up|down ENVFILE: create the private prefix once and keep a
# persistent wineserver running for the test run; stop it afterwards.
set -e
. "$2"
case "$1" in
up)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$TRN_WINE" wineboot -i >/dev/null 2>&1 || true
    "$TRN_WINESERVER" -w
  fi
  "$TRN_WINESERVER" -p 120
  test -f "$WINEPREFIX/system.reg"
  ;;
down)
  "$TRN_WINESERVER" -k >/dev/null 2>&1 || true
  ;;
esac
