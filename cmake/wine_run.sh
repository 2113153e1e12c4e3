#!/bin/sh
# Runs a cross-built Windows program under wine, quietly and in a wine prefix of its own:
# $WINEPREFIX when set, else build/windows/wineprefix beside this checkout.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/windows/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts when the prefix is first made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if command -v wine64 >/dev/null 2>&1; then exec wine64 "$@"; fi
exec wine "$@"
