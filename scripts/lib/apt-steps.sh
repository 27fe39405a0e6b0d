# Set-up's decisions about apt, as small functions that a test can drive with
# a fake apt-get. Sourced by scripts/setup.sh; POSIX sh.
#   APT_GET              the apt-get to call ("apt-get", or "sudo apt-get")
#   APT_UPDATE_TRIES     how often a failing update is tried (default 3)
#   APT_UPDATE_PAUSE     seconds between those tries (default 5)
#   APT_PREFERENCES      the machine's preferences file, carried into the
#                        pinned attempt (default /etc/apt/preferences)
#   TRN_NO_WINE32=1      behave as if 32-bit Wine could not be installed

# Refreshes the package indexes. A mirror that is mid-sync fails one index
# now and then, which apt reports as a failure of the whole update; retry a
# few times, then go on with what was fetched: the install says whether it
# was enough.
apt_update() {
  tries=${APT_UPDATE_TRIES:-3}
  n=1
  while :; do
    if $APT_GET update -qq; then return 0; fi
    if [ "$n" -ge "$tries" ]; then
      echo "setup: apt-get update failed $tries times; going on with the indexes that were fetched"
      return 0
    fi
    echo "setup: apt-get update failed (try $n of $tries); trying again in ${APT_UPDATE_PAUSE:-5} s"
    sleep "${APT_UPDATE_PAUSE:-5}"
    n=$((n + 1))
  done
}

# A preferences file that ranks the security suite below the main suite, for
# one install only: when the i386 index of the security suite lags behind the
# amd64 one, multiarch packages that must match in version on both sides can
# then be taken from the main suite. The machine's own preferences come first.
pinned_preferences() {
  file=$1
  { if [ -f "${APT_PREFERENCES:-/etc/apt/preferences}" ]; then
      cat "${APT_PREFERENCES:-/etc/apt/preferences}"; echo
    fi
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n'
  } >"$file"
}

# The packages of a list that are not 32-bit ones (name:i386, or wine32).
without_i386() {
  for p in "$@"; do
    case $p in *:i386|wine32) ;; *) printf '%s ' "$p" ;; esac
  done
}

# Installs the packages named: as they are; again with the security suite
# pinned below the main suite; and last the 64-bit set alone, saying in one
# line why the 32-bit Windows suite will be skipped. Fails only when the
# 64-bit set cannot be installed either.
apt_install() {
  if [ "${TRN_NO_WINE32:-}" = 1 ]; then
    set -- $(without_i386 "$@")
    echo "setup: TRN_NO_WINE32=1: 32-bit Wine is not installed; the 32-bit Windows suite will be skipped"
    $APT_GET install -y -qq "$@"
    return
  fi
  $APT_GET install -y -qq "$@" && return 0
  echo "setup: the install failed; trying again with the security suite ranked below the main suite"
  prefs=$(mktemp "${TMPDIR:-/tmp}/trn-apt-prefs.XXXXXX") || return 1
  pinned_preferences "$prefs"
  rc=0
  $APT_GET -o Dir::Etc::Preferences="$prefs" install -y -qq "$@" || rc=$?
  rm -f "$prefs"
  [ "$rc" = 0 ] && return 0
  set -- $(without_i386 "$@")
  echo "setup: 32-bit Wine cannot be installed from this package mirror; installing the 64-bit set alone, and the 32-bit Windows suite will be skipped"
  $APT_GET install -y -qq "$@"
}
