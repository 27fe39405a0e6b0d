#!/bin/sh
# Configures and builds the three trees under build/ (or $TRN_BUILD_ROOT):
#   native  Linux, AddressSanitizer and UBSan: the portable parsers
#   win32   the product as shipped: 32-bit DLL, stand-ins and tools, plus the
#           Windows tests where this kernel runs 32-bit code (32-bit Wine);
#           elsewhere the DLL is only checked as an image
#   win64   the same sources for 64-bit Windows with the Windows tests,
#           which run under 64-bit Wine
#   fuzz    Linux, clang: the libFuzzer targets of the parsers (fuzz/)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
jobs=${TRN_JOBS:-$(nproc)}
what=${1:-all}

want() { [ "$what" = all ] || [ "$what" = "$1" ]; }

if want native; then
  cmake -S "$root" -B "$build/native" -G Ninja \
        -DCMAKE_BUILD_TYPE=Debug -DTRN_SANITIZE=ON >/dev/null
  cmake --build "$build/native" -j "$jobs"
fi
if want win32; then
  if ia32=$("$root/scripts/probe-ia32.sh"); then win32_tests=ON; else win32_tests=OFF; fi
  echo "win32 tests $win32_tests: $ia32"
  cmake -S "$root" -B "$build/win32" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRN_BUILD_TESTS=$win32_tests \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" >/dev/null
  cmake --build "$build/win32" -j "$jobs"
fi
if want win64; then
  cmake -S "$root" -B "$build/win64" -G Ninja \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null
  cmake --build "$build/win64" -j "$jobs"
fi
if want fuzz; then
  cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DTRN_FUZZ=ON -DTRN_SANITIZE=ON -DTRN_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build/fuzz" -j "$jobs" --target fuzz/all
fi
