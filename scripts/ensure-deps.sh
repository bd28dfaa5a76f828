#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Run by run.sh, test.sh and bench.sh; usable on its own.
# Usage: scripts/ensure-deps.sh [build|test|bench|docs|windows|package]...
set -euo pipefail

packages_build=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev qt6-base-dev)
# Real peers the tests talk to, the fuzzing toolchain and what the tests run
# (a private session bus and X server for the tray host on the bus, the two
# fonts the layout is checked with, and the Debian package's checker).
packages_test=(busybox-static microsocks dante-server iproute2 clang libclang-rt-14-dev
               procps dbus xvfb fonts-dejavu-core fonts-liberation2 lintian)
# The login tests' and benchmark's real telnet daemon (inetutils; BusyBox's
# comes with busybox-static).
packages_test+=(inetutils-telnetd)
# The telnet benchmark's baseline parser.
packages_bench=(libtelnet-dev)
packages_bench+=(inetutils-telnetd)
# Screenshots of the running program under a virtual X server.
packages_docs=(xvfb trayer xdotool imagemagick x11-utils)
# The Windows tree: the cross compiler and Wine to run its tests.  Wine's
# recommended libraries (X, sound, printing, fonts) serve windows on a
# screen; the tests run on Wine's null graphics driver and need none.
packages_windows=(g++-mingw-w64-x86-64-posix wine wine64)
# The Windows zip (scripts/package-windows.sh): the cross compiler and zip.
packages_package=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip)

want=("${packages_build[@]}")
for what in "$@"; do
  case "$what" in
    build) ;;
    test) want+=("${packages_test[@]}") ;;
    bench) want+=("${packages_bench[@]}") ;;
    docs) want+=("${packages_docs[@]}") ;;
    windows) want+=("${packages_windows[@]}") ;;
    package) want+=("${packages_package[@]}") ;;
    *) echo "ensure-deps: unknown group '$what'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing Debian packages: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
