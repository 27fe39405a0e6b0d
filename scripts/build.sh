#!/bin/sh
# Configures and builds the three trees:
#   build/native  Linux, AddressSanitizer and UBSan: the portable parsers
#   build/win32   the product as shipped: 32-bit DLL, stand-ins and tools
#   build/win64   the same sources for 64-bit Windows with the Windows tests,
#                 which run under 64-bit Wine (this kernel runs no 32-bit code)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=${TRN_JOBS:-$(nproc)}
what=${1:-all}

want() { [ "$what" = all ] || [ "$what" = "$1" ]; }

if want native; then
  cmake -S "$root" -B "$root/build/native" -G Ninja \
        -DCMAKE_BUILD_TYPE=Debug -DTRN_SANITIZE=ON >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
fi
if want win32; then
  cmake -S "$root" -B "$root/build/win32" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRN_BUILD_TESTS=OFF \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" >/dev/null
  cmake --build "$root/build/win32" -j "$jobs"
fi
if want win64; then
  cmake -S "$root" -B "$root/build/win64" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
  cmake --build "$root/build/win64" -j "$jobs"
fi
