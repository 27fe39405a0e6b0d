#!/bin/sh
# Configures and builds both trees: build/native (Linux, AddressSanitizer and
# UBSan, for the portable parsers) and build/win32 (the product DLL, stand-ins,
# tools and Windows tests, cross-compiled with MinGW-w64).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TRN_JOBS:-$(nproc)}
what=${1:-all}

if [ "$what" = all ] || [ "$what" = native ]; then
  cmake -S "$root" -B "$root/build/native" -G Ninja \
        -DCMAKE_BUILD_TYPE=Debug -DTRN_SANITIZE=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if [ "$what" = all ] || [ "$what" = win32 ]; then
  cmake -S "$root" -B "$root/build/win32" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" >/dev/null
  cmake --build "$root/build/win32" -j "$jobs"
fi
