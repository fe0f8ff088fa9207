#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The soak (not part of CI): builds bench/Soak.cpp with the bench preset
# (build-bench/, or VELORA_BENCH_BUILD), starts a PostgreSQL and a MariaDB
# server of its own that keep every commit across a kill
# (tests/support/server-control.sh), and runs the program: N minutes of mixed
# work by 8 threads on SQLite, PostgreSQL and MariaDB, both servers killed and
# started again halfway, the process's memory, file handles and the servers'
# connections printed every sample, and at the end the flatness checks and the
# tables read by sqlite3, psql and mariadb against the program's model.
#
#   scripts/soak.sh [MINUTES]          # default 60
#   VELORA_SOAK_SAMPLE_SECONDS=20 VELORA_SOAK_WARMUP_MINUTES=1 scripts/soak.sh 4
#
# VELORA_SOAK_PROGRAM runs a Soak built elsewhere (e.g. in build-tsan/ with
# -DVELORA_BUILD_BENCH=ON, to soak under ThreadSanitizer) instead of building.
# Exits non-zero when a check fails. The servers stop on every exit path.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELORA_BENCH_BUILD:-$root/build-bench}
jobs=${VELORA_JOBS:-2}
export VELORA_SOAK_MINUTES=${1:-${VELORA_SOAK_MINUTES:-60}}

program=${VELORA_SOAK_PROGRAM:-}
if [ -z "$program" ]; then
  cmake -S "$root" --preset bench -B "$build" >/dev/null
  cmake --build "$build" --target Soak -j"$jobs"
  program=$build/bench/Soak
fi
odbc=$(cd "$(dirname "$program")/.." && pwd)/odbc

control=$root/tests/support/server-control.sh
# Not $TMPDIR: the postgres account must be able to reach the folder.
dir=$(mktemp -d /tmp/velora-soak.XXXXXX)
chmod 755 "$dir"
cleanup() {
  bash "$control" stop mariadb "$dir" || true
  bash "$control" stop pg "$dir" || true
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

VELORA_PG_PORT=$(bash "$control" start pg "$dir")
VELORA_MARIADB_PORT=$(bash "$control" start mariadb "$dir")
export VELORA_PG_PORT VELORA_MARIADB_PORT
export VELORA_SOAK_DIR=$dir VELORA_SOAK_CONTROL=$control
export ODBCSYSINI=$odbc ODBCINI=$odbc/odbc.ini

"$program"
