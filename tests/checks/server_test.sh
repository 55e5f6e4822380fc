#!/usr/bin/env bash
# Tests of scripts/server: start, status, a query through the printed path, a second start that
# keeps the running server, stop, and the refusals with their one-line reasons. Without
# PostgreSQL's programs the test is skipped (status 77), unless CI is "true".
# Usage: tests/checks/server_test.sh
set -uo pipefail
repo="$(cd "$(dirname "$0")/../.." && pwd)"
server="$repo/scripts/server"
work="$(mktemp -d)"
chmod 0755 "$work"  # as root the server runs as postgres, which must reach its folder
export VELDA_SERVER_DIR="$work/server"
trap '"$server" stop >/dev/null 2>&1; rm -rf "$work"' EXIT
failed=0
passed=0

# shellcheck source=tests/checks/expect.sh
source "$repo/tests/checks/expect.sh"

expect 0 "^Usage: scripts/server start" "$server" --help
expect 1 "^server: say start, stop, halt or status" "$server"
expect 1 "^server: unknown argument '--bogus'" "$server" start --bogus
expect 1 "^server: --tcp goes with start only" "$server" status --tcp
expect 1 "^server: no PostgreSQL server programs found .*install Debian's package postgresql" \
  env VELDA_PG_BINDIR="$work/none" "$server" start
expect 1 "^server: not running in $work/server$" "$server" status

if ! out="$("$server" start 2>&1)"; then
  if [[ "$out" == *"no PostgreSQL server programs"* ]] && [ "${CI:-}" != true ]; then
    echo "skipped: $out"
    exit 77
  fi
  echo "FAIL: start -> $out"
  exit 1
fi
path="$out"
encoded="${VELDA_SERVER_DIR//\//%2F}"
if [[ "$path" =~ ^postgresql://postgres@${encoded}:[0-9]+/velda/$ ]]; then
  passed=$((passed + 1))
else
  echo "FAIL: start printed '$path'"
  failed=$((failed + 1))
fi
expect 0 "^${path}$" "$server" status
expect 0 "^${path}$" "$server" start
psql_bin="$(pg_config --bindir 2>/dev/null || ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)/psql"
expect 0 "^1$" "$psql_bin" -X -At -c "SELECT 1" "${path%/}"
expect 0 "^250ms off$" "$psql_bin" -X -At -F ' ' \
  -c "SELECT current_setting('client_connection_check_interval'), current_setting('fsync')" \
  "${path%/}"
# halt keeps the data; the next start serves it again under the same path.
expect 0 "^1$" "$psql_bin" -X -At -c "CREATE TABLE kept(a int); INSERT INTO kept VALUES(1); SELECT count(*) FROM kept" "${path%/}"
expect 0 "^$" "$server" halt
expect 1 "^server: not running" "$server" status
expect 0 "^${path}$" "$server" start
expect 0 "^1$" "$psql_bin" -X -At -c "SELECT count(*) FROM kept" "${path%/}"
expect 0 "^$" "$server" stop
expect 1 "^server: not running" "$server" status
if [ -e "$VELDA_SERVER_DIR" ]; then
  echo "FAIL: stop left $VELDA_SERVER_DIR"
  failed=$((failed + 1))
fi
expect 0 "^$" "$server" stop

# Folders it refuses, and leaves as they were.
touch "$work/file"
expect 1 "^server: $work/file is not a folder" env VELDA_SERVER_DIR="$work/file" "$server" start
mkdir "$work/other" && touch "$work/other/keep"
expect 1 "^server: $work/other is neither empty nor a folder of scripts/server" \
  env VELDA_SERVER_DIR="$work/other" "$server" start
expect 1 "^server: $work/other is not a folder of scripts/server; it is left as it is" \
  env VELDA_SERVER_DIR="$work/other" "$server" stop
[ -f "$work/other/keep" ] || {
  echo "FAIL: stop removed a folder that is not its own"
  failed=$((failed + 1))
}
mkdir -m 0700 "$work/closed"
if [ "$(id -u)" -eq 0 ]; then
  # the user postgres cannot enter a folder private to root
  expect 1 "^server: the user postgres cannot write $work/closed/s" \
    env VELDA_SERVER_DIR="$work/closed/s" "$server" start
else
  chmod 0500 "$work/closed"
  expect 1 "^server: the folder $work/closed is not writable" \
    env VELDA_SERVER_DIR="$work/closed/s" "$server" start
  chmod 0700 "$work/closed"
fi
ln -s "$work/other" "$work/link"
expect 1 "^server: $work/link is a symbolic link" env VELDA_SERVER_DIR="$work/link" "$server" start
expect 1 "^server: $work/link is a symbolic link" env VELDA_SERVER_DIR="$work/link" "$server" stop
if [ "$(id -u)" -eq 0 ]; then
  # a folder someone else made first under the name
  mkdir "$work/theirs" && chown nobody "$work/theirs"
  expect 1 "^server: $work/theirs belongs to the user nobody" \
    env VELDA_SERVER_DIR="$work/theirs" "$server" start
  expect 1 "^server: $work/theirs belongs to the user nobody" \
    env VELDA_SERVER_DIR="$work/theirs" "$server" stop
  [ -d "$work/theirs" ] || {
    echo "FAIL: stop removed a folder of another user"
    failed=$((failed + 1))
  }
fi
long="$work/$(printf 'x%.0s' {1..100})"
expect 1 "too long for the server's socket" env VELDA_SERVER_DIR="$long" "$server" start

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
