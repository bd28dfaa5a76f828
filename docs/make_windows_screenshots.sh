#!/usr/bin/env bash
# Takes the README's screenshots of the Win32 TervaneWinC.exe under Wine
# with its X11 driver, on a virtual X server whose XEmbed tray (trayer) hosts
# the icon; the router simulator stands in for the router on 127.0.0.1.
#   docs/make_windows_screenshots.sh <Windows build folder> <Linux build folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
winbin=$(cd "${1:-$here/../build-windows}/bin" && pwd)
bin=$(cd "${2:-$here/../build}/bin" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  # Newest first: the program goes before its X server does.
  WINEPREFIX=$work/prefix wineserver -k 2>/dev/null || true
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

export DISPLAY=:96 WINEPREFIX=$work/prefix WINEDEBUG=-all
Xvfb "$DISPLAY" -screen 0 900x620x24 -nolisten tcp & pids+=($!)
sleep 1
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0xc0c0c0 & pids+=($!)
sleep 1
# A prefix of its own, with Wine's X11 driver (the tests use the null one).
wineboot -i >/dev/null 2>&1
wineserver -w

"$bin/tervane_router_sim" --port 0 > "$work/port" & pids+=($!)
sleep 0.5
port=$(sed -n 's/^PORT //p' "$work/port")

# A private copy: the settings file sits beside the executable, and it
# points at the simulator before the program ever starts.
cp "$winbin/TervaneWinC.exe" "$work/"
printf '[Settings]\r\nHostName=127.0.0.1\r\nTelnetPort=%s\r\nUserName=User\r\nPassword=Lanterns\r\nAutoConnect=1\r\n' \
  "$port" > "$work/TervaneWinC.ini"
grep -q '^HostName=127.0.0.1' "$work/TervaneWinC.ini"
(cd "$work" && wine TervaneWinC.exe) & pids+=($!)
sleep 6

click() {  # x y button [repeat]: the pointer settles before the click
  xdotool mousemove "$1" "$2"
  sleep 0.3
  xdotool click --repeat "${4:-1}" --delay 120 "$3"
  sleep 1.5
}

# The docked icon: the small window that trayer holds.
icon=
for w in $(xdotool search --onlyvisible --name '' 2>/dev/null); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if ((WIDTH <= 24 && HEIGHT <= 24 && Y > 560)); then icon=$w; fi
done
[[ -n $icon ]] || { echo "make_windows_screenshots: no tray icon" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$icon")"
ix=$((X + WIDTH / 2)); iy=$((Y + HEIGHT / 2))

click $ix $iy 1 2   # double-click: access up
click $ix $iy 3     # right click: the menu
import -window root -crop 320x240+580+380 "$here/windows_tray_menu.png"
xdotool key Down Return  # the first item: "Configuration"
sleep 1.5
form=$(xdotool search --onlyvisible --name 'Zel Tervane Windows Client' 2>/dev/null | head -1 || true)
[[ -n $form ]] || { echo "make_windows_screenshots: the window did not show" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$form")"
# Show Telnet Console, at 490,104 of the client area.
click $((X + 490)) $((Y + 104)) 1
eval "$(xdotool getwindowgeometry --shell "$form")"
import -window root -crop "$((WIDTH + 40))x$((HEIGHT + 60))+$((X - 20))+$((Y - 40))" \
  "$here/windows_configuration_window.png"
