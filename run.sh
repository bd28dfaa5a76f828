#!/usr/bin/env bash
# Installs what is missing, builds, starts the router simulator on a free
# loopback port and starts the tray program against it.
#
# The settings file (build/bin/Tervane.ini) is written here only when there is
# none, or when it points at this machine (127.0.0.1, i.e. at the simulator
# of an earlier run: the simulator's port changes from run to run).  A file
# that points at a real router is left alone, and no simulator is needed then.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")"

scripts/ensure-deps.sh build

jobs=$(nproc)
cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs" --target TervaneWinC tervane_router_sim wsock32

bin=build/bin
ini=$bin/Tervane.ini
sim_pid=
cleanup() { [[ -n $sim_pid ]] && kill "$sim_pid" 2>/dev/null || true; }
trap cleanup EXIT

host=
if [[ -e $ini ]]; then
  host=$(sed -n 's/^[Hh][Oo][Ss][Tt][Nn][Aa][Mm][Ee]=//p' "$ini" | tr -d '\r' | head -n1)
fi
if [[ ! -e $ini || $host == 127.0.0.1 ]]; then
  portfile=$(mktemp)
  "$bin/tervane_router_sim" --port 0 --user User --password Lanterns \
    --log "$bin/router_sim.log" >"$portfile" &
  sim_pid=$!
  for _ in $(seq 50); do
    grep -q '^PORT ' "$portfile" && break
    sleep 0.1
  done
  port=$(sed -n 's/^PORT //p' "$portfile")
  rm -f "$portfile"
  [[ -n $port ]] || { echo "run.sh: the router simulator did not start" >&2; exit 1; }
  echo "Router simulator on 127.0.0.1:$port (user User, password Lanterns); it logs to $bin/router_sim.log"
  if [[ ! -e $ini ]]; then
    (umask 077; printf '[Settings]\nHostName=127.0.0.1\nTelnetPort=%s\nUserName=User\nPassword=Lanterns\nAutoConnect=1\n' "$port" >"$ini")
  else
    sed -i "s/^\([Tt][Ee][Ll][Nn][Ee][Tt][Pp][Oo][Rr][Tt]\)=.*/\1=$port/" "$ini"
  fi
fi

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "No display found: the program runs offscreen (Ctrl+C stops it)."
  export QT_QPA_PLATFORM=offscreen
fi
echo "Starting TervaneWinC: it lives in the notification area; right-click its icon for the menu."
"$bin/TervaneWinC"
