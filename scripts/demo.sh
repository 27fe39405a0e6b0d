#!/bin/sh
# The main job on the bundled samples: installs what is missing, builds what
# the main job needs (the server DLL, the decoder and wave fitter filters, the
# stand-in host classes and sink, trnhost) for the architecture that runs
# here, then runs it through trnhost. Where 32-bit Windows code runs, that is
# the shipped 32-bit DLL under 32-bit Wine; elsewhere its 64-bit build under
# 64-bit Wine. The test command reuses what this builds.
#   --verbose  also shows what registration writes to the registry and the
#              trnprobe dump of the test samples (builds trnprobe too)
# TRN_BUILD_ROOT moves the trees away from build/.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
verbose=0
[ "${1:-}" = --verbose ] && verbose=1
"$root/scripts/setup.sh"

if ia32=$("$root/scripts/probe-ia32.sh"); then
  name=win32
  why="the shipped 32-bit build under 32-bit Wine: $ia32"
else
  name=win64
  why="the 64-bit build under 64-bit Wine: $ia32"
fi
tree=$build/$name
targets="TrnM4aTranscoder trn_aac_decoder_filter KisoWaveFitterFilter HostMediaObjects HostDlnaSink trnhost"
[ $verbose = 1 ] && targets="$targets trnprobe"
echo "== building what the main job needs: $why"
mkdir -p "$build"
TRN_BUILD_LOG="$build/demo-build.log" "$root/scripts/build.sh" $name $targets

if [ $verbose = 1 ]; then
  . "$tree/wine-env.sh"
  sh "$root/cmake/wine-prefix.sh" up "$tree/wine-env.sh"
  winpath() { echo "Z:$1" | tr / '\\'; }
  dll="$tree/module/TrnM4aTranscoder.dll"
  printf "== registering %s\n" "$(winpath "$dll")"
  "$TRN_WINE" regsvr32 /s "$(winpath "$dll")"
  for key in 'HKCR\AppID\{1A13599F-F117-4F1B-AEAC-0F8D865164A9}' 'HKCR\AppID\TrnM4aTranscoder.DLL' \
             'HKCR\TrnM4aTranscoder.M4aConverter' 'HKCR\TrnM4aTranscoder.M4aConverter.1' \
             'HKCR\TrnM4aTranscoder.M4aConverterInfo' 'HKCR\TrnM4aTranscoder.M4aConverterInfo.1' \
             'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' 'HKCR\CLSID\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}'; do
    "$TRN_WINE" reg query "$key" /s 2>/dev/null | tr -d '\r' | grep -v '^$'
  done
  echo "== trnprobe.exe on the test samples"
  for f in "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.3gp; do
    "$TRN_WINE" "$tree/tools/trnprobe.exe" "$(winpath "$f")" | tr -d '\r'
  done
fi

echo "== the main job: trnhost, a command-line media server, on the bundled samples"
TRN_TREE="$tree" "$root/scripts/main-job.sh"
