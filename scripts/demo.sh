#!/bin/sh
# The main job on the bundled samples: installs what is missing, builds the
# three trees, registers the server in the private Wine prefix with regsvr32
# and shows what the registration wrote, then inspects the samples with the
# trnprobe tool (native and Windows builds). Where this kernel runs 32-bit
# code, the shipped 32-bit DLL is used under 32-bit Wine; elsewhere its 64-bit
# build under 64-bit Wine. TRN_BUILD_ROOT moves the trees away from build/.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
case ${TRN_BUILD_ROOT:-build} in
  /*) build=$TRN_BUILD_ROOT ;;
  *) build=$root/${TRN_BUILD_ROOT:-build} ;;
esac
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

if ia32=$("$root/scripts/probe-ia32.sh") && [ -f "$build/win32/wine-env.sh" ]; then
  tree="$build/win32"
  why="the shipped 32-bit build under 32-bit Wine: $ia32"
else
  tree="$build/win64"
  why="the 64-bit build under 64-bit Wine: $ia32"
fi
. "$tree/wine-env.sh"
sh "$root/cmake/wine-prefix.sh" up "$tree/wine-env.sh"
trap 'sh "$root/cmake/wine-prefix.sh" down "$tree/wine-env.sh"' EXIT

dll="$tree/module/TrnM4aTranscoder.dll"
winpath() { echo "Z:$1" | tr / '\\'; }
echo "== shipped 32-bit DLL: $build/win32/module/TrnM4aTranscoder.dll"
printf "== registering %s (%s)\n" "$(winpath "$dll")" "$why"
"$TRN_WINE" regsvr32 /s "$(winpath "$dll")"
for key in 'HKCR\AppID\{1A13599F-F117-4F1B-AEAC-0F8D865164A9}' 'HKCR\AppID\TrnM4aTranscoder.DLL' \
           'HKCR\TrnM4aTranscoder.M4aConverter' 'HKCR\TrnM4aTranscoder.M4aConverter.1' \
           'HKCR\TrnM4aTranscoder.M4aConverterInfo' 'HKCR\TrnM4aTranscoder.M4aConverterInfo.1' \
           'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' 'HKCR\CLSID\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}'; do
  "$TRN_WINE" reg query "$key" /s 2>/dev/null | tr -d '\r' | grep -v '^$'
done

echo "== trnprobe (native) on the bundled samples"
"$build/native/tools/trnprobe" "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.3gp
echo "== trnprobe.exe (Windows) on the bundled samples"
for f in "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.3gp; do
  "$TRN_WINE" "$tree/tools/trnprobe.exe" "$(winpath "$f")" | tr -d '\r'
done

echo "== the main job: trnhost, a command-line media server, on the bundled samples"
TRN_TREE="$tree" "$root/scripts/main-job.sh"
