#!/bin/sh
# Runs a cross-built Windows program under wine, quietly and in a wine prefix of its own:
# $WINEPREFIX when set, else build/windows/wineprefix beside this checkout.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=$here/../build/windows/wineprefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installer prompts when the prefix is first made.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# Without address-space randomisation: a randomised layout now and then already holds the address
# where wine maps its shared user data, and the program dies before it starts ("failed to map the
# shared user data: c0000018"), under the tests' quiet WINEDEBUG without a word.
wine=wine
command -v wine64 >/dev/null 2>&1 && wine=wine64
if command -v setarch >/dev/null 2>&1; then exec setarch "$(uname -m)" -R "$wine" "$@"; fi
exec "$wine" "$@"
