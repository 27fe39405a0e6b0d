#!/bin/sh
# Configures and builds the trees under build/ (or $TRN_BUILD_ROOT):
#   native  Linux, AddressSanitizer and UBSan: the portable parsers
#   win32   the product as shipped: 32-bit DLL, stand-ins and tools, plus the
#           Windows tests where 32-bit Windows code runs here (32-bit Wine);
#           elsewhere the DLL is only checked as an image
#   win64   the same sources for 64-bit Windows with the Windows tests,
#           which run under 64-bit Wine
#   fuzz    Linux, clang: the libFuzzer targets of the parsers (fuzz/)
# Usage: build.sh [all]            every tree, everything
#        build.sh TREE [TARGET...] one tree, all of it or only the targets named
# TRN_JOBS sets the number of build jobs (default: the number of cores);
# TRN_BUILD_LOG=FILE sends the compiler's progress there and prints one line
# per tree instead (the log's tail when the build fails).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
jobs=${TRN_JOBS:-$(nproc)}
what=${1:-all}
[ $# -gt 0 ] && shift

configure() {  # configure TREE: the tree's CMake configuration
  case $1 in
    native)
      cmake -S "$root" -B "$build/native" -G Ninja \
            -DCMAKE_BUILD_TYPE=Debug -DTRN_SANITIZE=ON >/dev/null ;;
    win32)
      if ia32=$("$root/scripts/probe-ia32.sh"); then win32_tests=ON; else win32_tests=OFF; fi
      echo "win32 tests $win32_tests: $ia32"
      cmake -S "$root" -B "$build/win32" -G Ninja \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRN_BUILD_TESTS=$win32_tests \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw32.cmake" >/dev/null ;;
    win64)
      cmake -S "$root" -B "$build/win64" -G Ninja \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" >/dev/null ;;
    fuzz)
      cmake -S "$root" -B "$build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
            -DTRN_FUZZ=ON -DTRN_SANITIZE=ON -DTRN_BUILD_TESTS=OFF >/dev/null ;;
    *) echo "build.sh: no tree '$1' (native, win32, win64, fuzz or all)" >&2; exit 2 ;;
  esac
}

compile() {  # compile TREE [cmake --build args]: quietly when TRN_BUILD_LOG is set
  tree=$1; shift
  if [ -z "${TRN_BUILD_LOG:-}" ]; then
    cmake --build "$build/$tree" -j "$jobs" "$@"
    return
  fi
  started=$(date +%s)
  if cmake --build "$build/$tree" -j "$jobs" "$@" >>"$TRN_BUILD_LOG" 2>&1; then
    echo "built $build/$tree in $(($(date +%s) - started)) s (compiler output: $TRN_BUILD_LOG)"
  else
    tail -n 40 "$TRN_BUILD_LOG" >&2
    echo "build of $build/$tree failed; the whole output is in $TRN_BUILD_LOG" >&2
    return 1
  fi
}

build_tree() {  # build_tree TREE [TARGET...]
  tree=$1; shift
  configure "$tree"
  if [ $# -gt 0 ]; then
    for t in "$@"; do set -- "$@" --target "$t"; shift; done
    compile "$tree" "$@"
  elif [ "$tree" = fuzz ]; then
    compile fuzz --target fuzz/all
  else
    compile "$tree"
  fi
}

if [ "$what" = all ]; then
  for tree in native win32 win64 fuzz; do build_tree $tree; done
else
  build_tree "$what" "$@"
fi
