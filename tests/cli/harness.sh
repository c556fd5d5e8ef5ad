# Sourced by the command-line test scripts: a scratch folder $dir removed on exit, check() that
# counts results and names each failure with the output in hand, and finish() for the summary line.
dir="$(mktemp -d)"
trap 'rm -rf "$dir"' EXIT
passed=0
failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    [ -n "${out-}" ] && echo "  output: $out"
    [ -n "${err-}" ] && echo "  stderr: $err"
  fi
  return 0
}
finish() {  # finish SUITE: prints the counts; fails when anything failed
  echo "$1: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
