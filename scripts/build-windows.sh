#!/usr/bin/env bash
# Builds the Windows (x86_64, mingw-w64) tree of the socket and telnet
# components and their tests in build-windows/ (or the folder given).
#   scripts/build-windows.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
dir=${1:-build-windows}
shift || true
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -G Ninja -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
