#!/bin/sh
# wine-prefix.sh up|down ENVFILE: create the private prefix once and keep a
# persistent wineserver running for the test run; stop it afterwards.
set -e
. "$2"
case "$1" in
up)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$TRN_WINE" wineboot -i >/dev/null 2>&1 || true
    "$TRN_WINESERVER" -w </dev/null >/dev/null 2>&1
  fi
  # Detach their output: CTest waits for every holder of a test's pipe, and
  # the server and the prefix's services outlive the test that starts them.
  "$TRN_WINESERVER" -p 120 </dev/null >/dev/null 2>&1 || true
  "$TRN_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  test -f "$WINEPREFIX/system.reg"
  ;;
down)
  "$TRN_WINESERVER" -k >/dev/null 2>&1 || true
  ;;
esac
