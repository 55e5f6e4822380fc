# The assertion of the shell tests in this folder, sourced by them: counts into $passed and
# $failed, which the sourcing script sets to 0.
expect() {  # expect STATUS PATTERN COMMAND...
  local status="$1" pattern="$2"
  shift 2
  local out
  out="$("$@" 2>&1)"
  local got=$?
  if [ "$got" -ne "$status" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAIL: $* -> status $got, expected $status and /$pattern/"
    echo "$out" | sed 's/^/    /'
    failed=$((failed + 1))
  else
    passed=$((passed + 1))
  fi
}
