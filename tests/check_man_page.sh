#!/bin/sh
# usage: check_man_page.sh tlg.1 TLG_TOOL
# The manual page renders without a warning, and documents every command
# and option that the tool's help lists, and every exit status.
page=$1
tool=$2
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || { echo "man failed: $warnings"; exit 1; }
if [ -n "$warnings" ]; then
  echo "man warns: $warnings"
  exit 1
fi
text=$(MANWIDTH=200 man -E UTF-8 -l "$page" 2>/dev/null | col -b)
status=0
for command in "" info decode encode; do
  for option in $("$tool" $command --help | grep -oE -- '(^|[ [,|])--?[a-z]+' | tr -d ' [,|' | sort -u) $command; do
    if ! printf '%s\n' "$text" | grep -qF -- "$option"; then
      echo "the manual page does not mention $option (from tlg $command --help)"
      status=1
    fi
  done
done
for exit_status in 0 1 2; do
  if ! printf '%s\n' "$text" | sed -n '/^EXIT STATUS/,/^[A-Z]/p' | grep -qE "^ +$exit_status( |\$)"; then
    echo "the manual page does not describe exit status $exit_status"
    status=1
  fi
done
[ $status -eq 0 ] && echo "manual page: renders cleanly and covers every option"
exit $status
