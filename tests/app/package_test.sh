#!/usr/bin/env bash
# The Debian package as a user gets it: CPack builds it, lintian finds no
# error in it, it unpacks into a temporary root, and the installed program
# starts (offscreen) with its settings in a temporary $XDG_CONFIG_HOME and
# logs in to the router simulator on 127.0.0.1.
# Usage: package_test.sh <build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/pkg" >/dev/null) || fail "cpack"
deb=$(ls "$work"/pkg/*.deb)
if command -v lintian >/dev/null; then
  lintian --tag-display-limit 0 "$deb" 2>/dev/null | tee "$work/lintian"
  if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi
fi

root=$work/root
dpkg-deb -x "$deb" "$root"
for f in usr/bin/TervaneWinC usr/lib/tervane/libwsock32.so usr/lib/tervane/libtvplatform.so \
         usr/share/applications/tervane.desktop usr/share/man/man1/TervaneWinC.1.gz \
         usr/share/icons/hicolor/scalable/apps/tervane.svg etc/xdg/autostart/tervane.desktop; do
  [[ -e $root/$f ]] || fail "the package lacks $f"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$root/usr/share/icons/hicolor/${size}x${size}/apps/tervane.png
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  [[ $(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n') == $(printf '%08x%08x' "$size" "$size") ]] ||
    fail "$png is not $size pixels square"
done
grep -qx 'Hidden=true' "$root/etc/xdg/autostart/tervane.desktop" || fail "autostart is on"
# Nothing of the installed program may come from the build folder.
if readelf -d "$root/usr/bin/TervaneWinC" "$root"/usr/lib/tervane/*.so | grep -q "$build"; then
  fail "a library search path names the build folder"
fi

"$build/bin/tervane_router_sim" --port 0 --user admin --password secret --log "$work/router.log" \
  > "$work/sim" & pids+=($!)
for _ in $(seq 100); do grep -q '^PORT ' "$work/sim" && break; sleep 0.1; done
port=$(sed -n 's/^PORT //p' "$work/sim")
[[ -n $port ]] || fail "the router simulator did not start"

# The installed program's folder is not the user's: as root it runs as
# nobody, whose own configuration folder is the temporary one.
chmod 755 "$work"
xdg=$work/xdg
mkdir -p "$xdg/tervane"
printf '[Settings]\nHostName=127.0.0.1\nTelnetPort=%s\nUserName=admin\nPassword=secret\nAutoConnect=1\n' \
  "$port" > "$xdg/tervane/Tervane.ini"
run=()
if [[ $(id -u) -eq 0 ]]; then
  chown -R 65534:65534 "$xdg"
  run=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
fi
export XDG_CONFIG_HOME=$xdg QT_QPA_PLATFORM=offscreen
unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
# Only a start that finds that settings file may go on (one that found none
# would fall back to the built-in router address once its message is
# answered).
help=$("${run[@]}" "$root/usr/bin/TervaneWinC" --help)
grep -qxF "Settings file: $xdg/tervane/Tervane.ini" <<<"$help" || fail "settings file: $help"

"${run[@]}" "$root/usr/bin/TervaneWinC" & pids+=($!)
for _ in $(seq 200); do
  grep -aq 'secret' "$work/router.log" 2>/dev/null && break
  kill -0 "${pids[-1]}" 2>/dev/null || fail "the installed program ended"
  sleep 0.1
done
grep -aq 'secret' "$work/router.log" || fail "the installed program did not log in"
echo "the installed program logged in"
