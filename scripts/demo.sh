#!/bin/sh
# The main job on the bundled samples: installs what is missing, builds the
# three trees, registers the server in the private Wine prefix with regsvr32
# and shows what the registration wrote, then inspects the samples with the
# trnprobe tool (native and Windows builds).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

tree="$root/build/win64"
. "$tree/wine-env.sh"
sh "$root/cmake/wine-prefix.sh" up "$tree/wine-env.sh"
trap 'sh "$root/cmake/wine-prefix.sh" down "$tree/wine-env.sh"' EXIT

dll="$tree/module/TrnM4aTranscoder.dll"
winpath() { echo "Z:$1" | tr / '\\'; }
echo "== shipped 32-bit DLL: $root/build/win32/module/TrnM4aTranscoder.dll"
printf "== registering %s (this machine runs no 32-bit code, so the 64-bit build)\n" "$(winpath "$dll")"
"$TRN_WINE" regsvr32 /s "$(winpath "$dll")"
for key in 'HKCR\AppID\{1A13599F-F117-4F1B-AEAC-0F8D865164A9}' 'HKCR\AppID\TrnM4aTranscoder.DLL' \
           'HKCR\TrnM4aTranscoder.M4aConverter' 'HKCR\TrnM4aTranscoder.M4aConverter.1' \
           'HKCR\TrnM4aTranscoder.M4aConverterInfo' 'HKCR\TrnM4aTranscoder.M4aConverterInfo.1' \
           'HKCR\CLSID\{826A02A1-BA00-440A-B3E3-C3CBA845DF15}' 'HKCR\CLSID\{32D5F351-33C6-4690-8DD1-62E7C3EDBD5D}'; do
  "$TRN_WINE" reg query "$key" /s 2>/dev/null | tr -d '\r' | grep -v '^$'
done

echo "== trnprobe (native) on the bundled samples"
"$root/build/native/tools/trnprobe" "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.3gp
echo "== trnprobe.exe (Windows) on the bundled samples"
for f in "$root"/testdata/*.mp4 "$root"/testdata/*.m4a "$root"/testdata/*.3gp; do
  "$TRN_WINE" "$tree/tools/trnprobe.exe" "$(winpath "$f")" | tr -d '\r'
done
