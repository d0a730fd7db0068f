#!/usr/bin/env bash
# Runs a 32-bit Windows program under wine, quietly and without a display.
# Used as the cross-compiling emulator: every ctest command of the win32
# build goes through here. The program's exit code is passed on.
set -euo pipefail

export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.wine-recbase}"
# A new prefix is made 32-bit; an existing one keeps what it is.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  export WINEARCH="${WINEARCH:-win32}"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko download dialogs.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Headless: never try to reach an X server.
export DISPLAY=""
unset WAYLAND_DISPLAY

if [ "$#" -eq 0 ]; then
  echo "usage: $0 program.exe [arguments...]" >&2
  exit 2
fi
mkdir -p "$WINEPREFIX"
# Wine's server and the session's helper processes (services, explorer...)
# outlive the program and would hold the caller's output pipe open until they
# quit; ctest waits for that pipe. So when no server runs yet, start it and
# the session detached from our output first.
if wineserver </dev/null >/dev/null 2>&1; then
  wine wineboot </dev/null >/dev/null 2>&1 || true
fi
exec wine "$@"
