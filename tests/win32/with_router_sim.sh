#!/usr/bin/env bash
# Runs a command with the router simulator listening on 127.0.0.1: its port,
# user name, password and byte log in TERVANE_SIM_PORT, TERVANE_SIM_USER,
# TERVANE_SIM_PASSWORD and TERVANE_SIM_LOG.  The simulator ends with the
# command.
#   with_router_sim.sh <tervane_router_sim> <command...>
set -euo pipefail
sim=$1
shift
dir=$(mktemp -d)
export TERVANE_SIM_USER=alice TERVANE_SIM_PASSWORD=s3cret TERVANE_SIM_LOG=$dir/received.log
: >"$TERVANE_SIM_LOG"
coproc SIM { exec "$sim" --port 0 --user "$TERVANE_SIM_USER" --password "$TERVANE_SIM_PASSWORD" \
  --log "$TERVANE_SIM_LOG"; }
simpid=$SIM_PID
trap 'kill "$simpid" 2>/dev/null || true; wait "$simpid" 2>/dev/null || true; rm -rf "$dir"' EXIT
read -r word port <&"${SIM[0]}"
[ "$word" = PORT ] || { echo "simulator did not start" >&2; exit 1; }
export TERVANE_SIM_PORT=$port
"$@"
