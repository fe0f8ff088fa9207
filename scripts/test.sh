#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Runs the test suite of an already built tree against real servers: starts a
# throw-away PostgreSQL 15 and MariaDB (scripts/lib/servers.sh), writes
# <build>/odbc/odbc.ini with their data sources, runs ctest with the ODBC
# environment and stops the servers again on every exit path.
#
#   scripts/test.sh [BUILD_DIR] [ctest arguments...]
#   scripts/test.sh [BUILD_DIR] --exec COMMAND [ARGS...]
#
# BUILD_DIR defaults to build-test in the repository. With --exec the command
# runs instead of ctest, with the same environment (handy for one test
# program: --exec BUILD/tests/velora_engine_tests --gtest_filter='*PostgreSQL*').
# The exit status is that of ctest (or the command).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build-test
if [ $# -gt 0 ] && [ -d "$1" ]; then
  build=$(cd "$1" && pwd)
  shift
fi
if [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "test: $build is not a configured build folder" >&2
  exit 2
fi

# shellcheck source=lib/servers.sh
source "$root/scripts/lib/servers.sh"
trap velora_servers_stop EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

velora_servers_start
velora_write_odbc_ini "$build/odbc"

export ODBCSYSINI=$build/odbc
export ODBCINI=$build/odbc/odbc.ini
export VELORA_TEST_SERVERS=1
export VELORA_PG_PORT VELORA_MARIADB_PORT

status=0
if [ "${1:-}" = --exec ]; then
  shift
  "$@" || status=$?
else
  jobs=${VELORA_TEST_JOBS:-2}
  ctest --test-dir "$build" --output-on-failure --no-tests=error --schedule-random -j"$jobs" "$@" || status=$?
fi
exit $status
