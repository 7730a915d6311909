# Shared by the package tests: named checks, counted, with the output of a
# failing one shown under its name. `work` must name a folder first.
passed=0
failed=0
check() {  # check DESCRIPTION COMMAND...
  local description=$1
  shift
  if "$@" >"$work/last.log" 2>&1; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $description"
    sed 's/^/  /' "$work/last.log"
  fi
}
