#!/bin/sh
# Builds everything and runs the whole test suite: the native suite under the
# sanitizers, the shipped 32-bit tree (its Windows suite under 32-bit Wine
# where this kernel runs 32-bit code, else the image checks of the DLL only),
# then the 64-bit Windows suite under 64-bit Wine. Extra arguments go to every
# ctest call. TRN_BUILD_ROOT moves the trees away from build/.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

# The win32 tree has its tests exactly when build.sh found 32-bit code runs.
ia32=$("$root/scripts/probe-ia32.sh") || true
if grep -q '^TRN_BUILD_TESTS:BOOL=ON' "$build/win32/CMakeCache.txt"; then
  win32_tests=yes
  win32_title="the 32-bit Windows suite under 32-bit Wine, with the DLL image checks, because $ia32"
else
  win32_tests=no
  win32_title="DLL image checks only; the 32-bit Windows suite is skipped because $ia32"
fi

status=0
suite() {  # suite TREE TITLE [ctest args]: runs one tree's tests, records the result
  tree=$1
  echo "== $tree: $2"
  shift 2
  if (cd "$build/$tree" && ctest --output-on-failure "$@"); then
    eval "result_$tree=passed"
  else
    eval "result_$tree=FAILED"
    status=1
  fi
}
suite native "the portable suite under AddressSanitizer/UBSan" "$@"
suite fuzz "a brief run of each fuzz target from seeds made of the samples" "$@"
suite win32 "$win32_title" "$@"
suite win64 "the 64-bit Windows suite under 64-bit Wine (the same sources as the shipped DLL)" "$@"

echo "== summary"
echo "native suite: $result_native"
echo "fuzz targets, brief runs: $result_fuzz"
if [ $win32_tests = yes ]; then
  echo "32-bit Windows suite: $result_win32, under 32-bit Wine, because $ia32"
else
  echo "32-bit Windows suite: SKIPPED because $ia32; image checks of the shipped DLL: $result_win32"
fi
echo "64-bit Windows suite: $result_win64, under 64-bit Wine"
exit $status
