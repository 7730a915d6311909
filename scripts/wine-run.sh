#!/bin/sh
# Runs a Windows program under Wine, quietly, in the project's own prefix:
# 64-bit programs with wine64, 32-bit ones with the 32-bit loader.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
program=$1
loader=/usr/lib/wine/wine64
prefix=wine64
if [ -f "$program" ]; then
  pe_offset=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
  machine=$(od -An -tx1 -j "$((pe_offset + 4))" -N2 "$program" | tr -d ' ')
  if [ "$machine" = 4c01 ]; then  # i386
    loader=/usr/lib/wine/wine
    prefix=wine32
    export WINEARCH=win32
  fi
fi
export WINEPREFIX="${TLG_WINE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/tlg-wine}/$prefix"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$loader" wineboot -i >/dev/null 2>&1
  if [ "$prefix" = wine64 ]; then /usr/lib/wine/wineserver64 -w; else /usr/lib/wine/wineserver32 -w; fi 2>/dev/null || true
fi
# A program that starts just as the prefix's Wine server shuts down (it does
# a moment after its last program ends) fails with "wine client error" before
# it runs; that is Wine's, not the program's, so it gets one more start.
err=$(mktemp)
trap 'rm -f "$err"' EXIT
"$loader" "$@" 2>"$err"
status=$?
if [ "$status" -ne 0 ] && grep -q '^wine client error' "$err"; then
  "$loader" "$@"
  status=$?
else
  cat "$err" >&2
fi
exit "$status"
