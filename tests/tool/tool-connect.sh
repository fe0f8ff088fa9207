#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The velora tool's connecting: a data source's own account with no user
# given, the password from VELORA_PASSWORD, a file and standard input (and
# the refusal of --password-stdin with SQL on standard input), connection
# strings without printing their password, the prompt error without a
# terminal, and IM002 for a data source nobody defined.
#   tests/tool/tool-connect.sh VELORA_BINARY
# Needs the servers of scripts/test.sh; skipped (77) without them.
set -uo pipefail
velora=$1
[ "${VELORA_TEST_SERVERS:-}" = 1 ] || exit 77
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
# Under LeakSanitizer: psqlODBC's own bookkeeping, as the test programs
# suppress it (tests/support/TestEnv.cpp); leaks of ours still show.
printf 'leak:psqlodbca.so\nleak:psqlodbcw.so\n' >"$tmp/lsan.supp"
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$tmp/lsan.supp"

# expect STATUS PATTERN COMMAND...: runs COMMAND (stdin from $input), checks
# its exit status and that its output matches PATTERN (grep -E).
input=/dev/null
expect() {
  local status=$1 pattern=$2 got
  shift 2
  "$@" <"$input" >"$tmp/out" 2>&1
  got=$?
  if [ "$got" != "$status" ] || ! grep -Eq -- "$pattern" "$tmp/out"; then
    echo "FAILED (status $got, wanted $status, pattern '$pattern'): $*" >&2
    sed 's/^/    /' "$tmp/out" >&2
    failures=$((failures + 1))
  fi
}
# refute PATTERN: the last output does not match.
refute() {
  if grep -Eq -- "$1" "$tmp/out"; then
    echo "FAILED: output shows '$1'" >&2
    failures=$((failures + 1))
  fi
}

# A data source holding its own account: nothing passed, nothing asked.
expect 0 "Connected to VeloraMaria" "$velora" connect VeloraMaria --no-prompt
expect 0 "Connected to VeloraPG" "$velora" connect VeloraPG --no-prompt

# Password sources (VeloraPGLogin holds no account).
login=(connect VeloraPGLogin --user velora_login)
expect 0 "Connected" env VELORA_PASSWORD=login-pw "$velora" "${login[@]}"
expect 1 "28P01|password authentication failed" env VELORA_PASSWORD=wrong "$velora" "${login[@]}"
printf 'login-pw\n' >"$tmp/pw"
expect 0 "Connected" "$velora" "${login[@]}" --password-file "$tmp/pw"
input=$tmp/pw
expect 0 "Connected" "$velora" "${login[@]}" --password-stdin
expect 2 "cannot be used together" "$velora" query VeloraPGLogin - --user velora_login --password-stdin
input=/dev/null
expect 2 "one way only" "$velora" "${login[@]}" --password x --password-file "$tmp/pw"

# Connection strings, the password never printed.
expect 0 "Connected to DRIVER=SQLite3" "$velora" connect "DRIVER=SQLite3;Database=$tmp/cs.db" --no-prompt
cs="DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=$VELORA_PG_PORT;Database=velora_test;UID=velora_login"
expect 0 "Cursor mode: cmKeyset" env VELORA_ODBC_TRACE=1 "$velora" connect "$cs;PWD=login-pw"
refute "login-pw"  # neither in the output nor in the trace of every ODBC call
expect 0 "SQLDriverConnect" env VELORA_ODBC_TRACE=1 "$velora" connect "$cs;PWD=login-pw"
expect 1 "^ERROR: .*password authentication failed" "$velora" connect "$cs;PWD=wrong-Zq9"
refute "wrong-Zq9"
expect 0 "^1$|answer" "$velora" query "$cs;PWD=login-pw" "SELECT 1 AS answer"

# No terminal: the prompt says why; an unknown data source is IM002.
expect 1 "login prompt needs a terminal" "$velora" connect VeloraTestSQLite
expect 1 "IM002" "$velora" connect VeloraNoSuchSource
exit $((failures > 0))
