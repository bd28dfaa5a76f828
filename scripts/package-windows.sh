#!/usr/bin/env bash
# Builds TervaneWinC.exe for 64-bit Windows (Release, statically linked
# against the C and C++ runtimes: it needs only what Windows ships) and packs
# it with its read-me into dist/TervaneWinC-<version>-win64.zip.
#   scripts/package-windows.sh [build-dir]
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
dir=${1:-build-windows-package}
scripts/ensure-deps.sh package
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -G Ninja -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DTERVANE_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build "$dir" --target TervaneWinC -j"$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
x86_64-w64-mingw32-strip -o "$stage/TervaneWinC.exe" "$dir/bin/TervaneWinC.exe"
# Windows' own editors want CR LF.
sed 's/$/\r/' app/win32/README.txt >"$stage/README.txt"
# What Windows does not ship must not be needed.
imports=$(x86_64-w64-mingw32-objdump -p "$stage/TervaneWinC.exe" | sed -n 's/^\s*DLL Name: //p')
for dll in $imports; do
  case "${dll,,}" in
    kernel32.dll | user32.dll | gdi32.dll | shell32.dll | comctl32.dll | wsock32.dll | msvcrt.dll) ;;
    *) echo "package-windows: TervaneWinC.exe needs $dll, which Windows does not ship" >&2; exit 1 ;;
  esac
done
mkdir -p dist
zip="dist/TervaneWinC-$version-win64.zip"
rm -f "$zip"
(cd "$stage" && zip -q -X -9 "$OLDPWD/$zip" TervaneWinC.exe README.txt)
echo "$zip"
