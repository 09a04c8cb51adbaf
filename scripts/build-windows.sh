#!/usr/bin/env bash
# Builds build-windows/orna-viewer.exe: the 32-bit Windows executable.
#
# The program is cross-built with mingw-w64; the build paints the assets with
# a generator built for this host and the resource compiler embeds them. A
# native build beside it provides the tools the Windows test uses (xm-render
# and the checkers, with the same generated assets to compare against).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build-windows
cd "$root"

cmake -S . -B "$out/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out/host" --target orna_assets xm-render screen-check pcm-match >/dev/null

cmake -S . -B "$out/cross" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" >/dev/null
cmake --build "$out/cross" --target orna-viewer
cp "$out/cross/bin/orna-viewer.exe" "$out/orna-viewer.exe"

size=$(stat -c %s "$out/orna-viewer.exe")
dlls=$(i686-w64-mingw32-objdump -p "$out/orna-viewer.exe" | awk '/DLL Name/ {print $3}' | sort | tr '\n' ' ')
echo "build-windows/orna-viewer.exe: $size bytes; imports: $dlls"
# Code size of the player, the engine and the loader as compiled for the
# executable (text of their objects before the linker drops unused sections).
core_text=$(i686-w64-mingw32-size -t "$out/cross/liborna_core.a" | awk '/TOTALS/ {print $1}')
player_text=$(i686-w64-mingw32-size -t "$out/cross/player/liborna_player.a" | awk '/TOTALS/ {print $1}')
echo "code: song model + engine + mixer/renderer $core_text bytes, player control and thread $player_text bytes"
