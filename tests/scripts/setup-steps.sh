#!/bin/bash
# Drives set-up's apt decisions with a fake apt-get that fails as a mirror in
# mid-sync does; no real apt-get runs. Usage: setup-steps.sh SCRIPTS_DIR
set -eu -o pipefail
. "$1/lib/apt-steps.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
APT_UPDATE_PAUSE=0
APT_PREFERENCES=$work/machine-prefs
failures=0

# fake_apt: logs each call; FAIL_UPDATES updates fail first; installs fail
# while their plan (FAIL_PLAIN, FAIL_PINNED, FAIL_64) says so. A pinned call
# logs the preferences it was given.
fake_apt() {
  echo "apt-get $*" >>"$work/log"
  case " $* " in
    *" update "*)
      updates=$(( $(cat "$work/updates" 2>/dev/null || echo 0) + 1 ))
      echo "$updates" >"$work/updates"
      [ "$updates" -gt "$FAIL_UPDATES" ] ;;
    *Dir::Etc::Preferences=*)
      all="$*"; prefs=${all#*Dir::Etc::Preferences=}; prefs=${prefs%% *}
      cat "$prefs" >"$work/pinned-prefs"
      [ "$FAIL_PINNED" = 0 ] ;;
    *:i386*|*" wine32 "*) [ "$FAIL_PLAIN" = 0 ] ;;
    *) [ "$FAIL_64" = 0 ] ;;
  esac
}
APT_GET=fake_apt

check() {  # check NAME CONDITION...: one assertion
  name=$1; shift
  if "$@"; then :; else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
run() {  # run UPDATES PLAIN PINNED 64 [NO_WINE32]: one set-up with that plan
  rm -f "$work/log" "$work/updates" "$work/pinned-prefs" "$work/out"
  FAIL_UPDATES=$1 FAIL_PLAIN=$2 FAIL_PINNED=$3 FAIL_64=$4
  rc=0
  ( TRN_NO_WINE32=${5:-} TMPDIR=$work
    apt_update && apt_install cmake wine wine64 wine32:i386 libasound2:i386 ) >"$work/out" 2>&1 || rc=$?
}
calls() { grep -c "$1" "$work/log" || true; }
said() { grep -q "$1" "$work/out"; }
leftover_prefs() { ls "$work"/trn-apt-prefs.* >/dev/null 2>&1; }

# A clean mirror: one update, one install of everything.
run 0 0 0 0
check "clean: succeeds" [ $rc = 0 ]
check "clean: one update" [ "$(calls update)" = 1 ]
check "clean: one install" [ "$(calls install)" = 1 ]

# An index that fails twice, then fetches: retried, not fatal.
run 2 0 0 0
check "flaky index: succeeds" [ $rc = 0 ]
check "flaky index: three updates" [ "$(calls update)" = 3 ]

# An index that never fetches: reported, set-up goes on to the install.
run 99 0 0 0
check "stale index: succeeds" [ $rc = 0 ]
check "stale index: gives up after three" [ "$(calls update)" = 3 ]
check "stale index: says so" said "update failed 3 times"
check "stale index: installs" [ "$(calls install)" = 1 ]

# Version skew between the suites: the pinned retry installs everything, and
# its preferences (the machine's own first) are gone afterwards.
echo "Package: nodejs" >"$APT_PREFERENCES"
run 99 1 0 0
check "skew: succeeds" [ $rc = 0 ]
check "skew: pinned retry" [ "$(calls Dir::Etc::Preferences)" = 1 ]
check "skew: pins security below main" grep -q "Pin: release l=Debian-Security" "$work/pinned-prefs"
check "skew: pin priority 100" grep -q "Pin-Priority: 100" "$work/pinned-prefs"
check "skew: keeps the machine's preferences" grep -q "Package: nodejs" "$work/pinned-prefs"
check "skew: temporary preferences removed" eval '! leftover_prefs'
check "skew: still wants 32-bit Wine" grep -q "Preferences=.*wine32:i386" "$work/log"
rm -f "$APT_PREFERENCES"

# Nothing 32-bit installable: the 64-bit set alone, with one line saying why.
run 99 1 1 0
check "no wine32: succeeds" [ $rc = 0 ]
check "no wine32: three installs" [ "$(calls install)" = 3 ]
check "no wine32: last install has no i386" eval '! tail -n 1 "$work/log" | grep -q "i386\|wine32"'
check "no wine32: last install keeps wine64" eval 'tail -n 1 "$work/log" | grep -q " wine64"'
check "no wine32: one line why" [ "$(grep -c "32-bit Windows suite will be skipped" "$work/out")" = 1 ]
check "no wine32: preferences removed" eval '! leftover_prefs'

# Not even the 64-bit set: set-up fails.
run 0 1 1 1
check "broken mirror: fails" [ $rc != 0 ]

# TRN_NO_WINE32=1: the 64-bit set straight away.
run 0 0 0 0 1
check "TRN_NO_WINE32: succeeds" [ $rc = 0 ]
check "TRN_NO_WINE32: one install" [ "$(calls install)" = 1 ]
check "TRN_NO_WINE32: no i386" eval '! grep -q "i386\|wine32" "$work/log"'
check "TRN_NO_WINE32: says why" said "TRN_NO_WINE32=1"

if [ $failures != 0 ]; then echo "$failures failed"; exit 1; fi
echo "setup steps: all passed"
