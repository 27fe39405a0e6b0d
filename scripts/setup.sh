#!/bin/sh
# Installs the build and test dependencies on Debian 12 (run as root, or with
# sudo available). Safe to run again. Copes with a mirror in mid-sync (see
# scripts/lib/apt-steps.sh); TRN_NO_WINE32=1 leaves 32-bit Wine out.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/scripts/lib/apt-steps.sh"
APT_GET=apt-get
if [ "$(id -u)" != 0 ]; then APT_GET="sudo apt-get"; fi
export DEBIAN_FRONTEND=noninteractive
pkgs="cmake ninja-build g++ binutils googletest libboost-dev clang clang-format libclang-rt-14-dev
      g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
      mingw-w64-i686-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
      wine wine64 wine32:i386 libwine libasound2 libasound2-plugins
      libasound2:i386 libasound2-plugins:i386
      sox ffmpeg mediainfo curl
      gstreamer1.0-plugins-base-apps mpv vlc-bin vlc-plugin-base"
[ "${TRN_NO_WINE32:-}" = 1 ] && pkgs=$(without_i386 $pkgs)
missing=
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
[ -n "$missing" ] || exit 0
case $missing in
  *:i386*)
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      ${APT_GET%apt-get}dpkg --add-architecture i386
    fi ;;
esac
apt_update
apt_install $missing
