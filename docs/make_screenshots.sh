#!/usr/bin/env bash
# Takes the README's screenshots of TervaneWinC under a virtual X server:
# an XEmbed tray (trayer) hosts the icon, the router simulator stands in for
# the router on 127.0.0.1.  Usage: docs/make_screenshots.sh <build folder>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build}/bin" && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  # Newest first: the program goes before its X server does.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

# Qt must not find a session bus, or it would look for a bus-based tray.
unset DBUS_SESSION_BUS_ADDRESS
export DISPLAY=:97 QT_QPA_PLATFORM=xcb
Xvfb "$DISPLAY" -screen 0 900x620x24 -nolisten tcp & pids+=($!)
sleep 1
xsetroot -solid '#3a6ea5' 2>/dev/null || true
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true \
  --transparent false --tint 0xc0c0c0 & pids+=($!)
sleep 1

"$bin/tervane_router_sim" --port 0 > "$work/port" & pids+=($!)
sleep 0.5
port=$(sed -n 's/^PORT //p' "$work/port")

# A private copy: the settings file sits beside the executable.
cp "$bin/TervaneWinC" "$work/"
ln -s "$bin"/*.so "$work/"
printf '[Settings]\nHostName=127.0.0.1\nTelnetPort=%s\nUserName=User\nPassword=Lanterns\nAutoConnect=1\n' \
  "$port" > "$work/Tervane.ini"
"$work/TervaneWinC" & pids+=($!)
sleep 3

# While the window is hidden, the icon is the program's only visible window.
icon=$(xdotool search --onlyvisible --classname TervaneWinC | head -1)
eval "$(xdotool getwindowgeometry --shell "$icon")"
ix=$((X + WIDTH / 2)); iy=$((Y + HEIGHT / 2))

click() {  # x y button [repeat]: the pointer settles before the click
  xdotool mousemove "$1" "$2"
  sleep 0.3
  xdotool click --repeat "${4:-1}" --delay 120 "$3"
  sleep 1
}

click $ix $iy 1 2   # double-click: access up
click $ix $iy 3     # right click: the menu
import -window root -crop 320x220+580+400 "$here/tray_menu.png"

# While the main window is hidden, the menu is the program's one visible
# window wider than the icon; "Configuration" is its first item.
for w in $(xdotool search --onlyvisible --classname TervaneWinC); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if ((WIDTH > 60)); then
    click $((X + 40)) $((Y + 10)) 1
    break
  fi
done
# The main window is the program's one visible window wider than its menu.
form=
for w in $(xdotool search --onlyvisible --classname TervaneWinC); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if ((WIDTH > 300)); then form=$w; fi
done
[[ -n $form ]] || { echo "make_screenshots: the window did not show" >&2; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$form")"
# Show Telnet Console, at 490,104 of the window description, whose units
# the program scales to its font: the short window is 607 by 161 of them.
click $((X + 490 * WIDTH / 607)) $((Y + 104 * HEIGHT / 161)) 1
eval "$(xdotool getwindowgeometry --shell "$form")"
import -window root -crop "$((WIDTH + 16))x$((HEIGHT + 16))+$((X - 8))+$((Y - 8))" \
  "$here/configuration_window.png"
echo "wrote $here/tray_menu.png $here/configuration_window.png"
