#!/bin/sh
# Installs the build and test dependencies on Debian 12 (run as root, or with
# sudo available). Safe to run again.
set -e
SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
pkgs="cmake ninja-build g++ binutils googletest libboost-dev clang libclang-rt-14-dev
      g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
      mingw-w64-i686-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
      binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
      wine wine64 wine32:i386 libwine libasound2 libasound2-plugins
      libasound2:i386 libasound2-plugins:i386
      sox ffmpeg mediainfo curl"
missing=
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $p"
done
if [ -n "$missing" ]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq $missing
fi
