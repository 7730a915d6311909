#!/bin/sh
# Runs a 32-bit Windows program under Wine in the project's own prefix, quietly.
export WINEDEBUG=-all
export WINEARCH=win32
export WINEPREFIX="${TLG_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/tlg-wine32}"
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
