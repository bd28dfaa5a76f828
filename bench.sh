#!/usr/bin/env bash
# Builds Release and runs every benchmark.  Each prints one figure a line:
# "name: value unit", ratios as "name_ratio: value" (ours over the baseline
# measured in the same run).
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

scripts/ensure-deps.sh build bench

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
cmake -G Ninja -S . -B build-bench -DCMAKE_BUILD_TYPE=Release \
  -DTERVANE_BUILD_TESTS=OFF -DTERVANE_BUILD_BENCH=ON >/dev/null
cmake --build build-bench -j"$jobs"

status=0
for bench in build-bench/bin/*_bench; do
  [[ -x $bench ]] || continue
  echo "# $(basename "$bench")"
  "$bench" || { echo "# $(basename "$bench") failed" >&2; status=1; }
done
exit $status
