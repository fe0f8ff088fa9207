#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Builds the benchmarks in a Release build of their own (build-bench/, the
# "bench" preset) and runs them against SQLite and throw-away
# PostgreSQL and MariaDB servers started as the test script starts them
# (scripts/lib/servers.sh); the servers stop on every exit path. Arguments go
# to the benchmark program (Google Benchmark flags, e.g.
# --benchmark_filter=SQLite). The build folder can be chosen with
# VELORA_BENCH_BUILD.
#
# The benchmark programs fill their tables on first use (the servers are new
# every run, so PostgreSQL's table is filled each time; SQLite's stays in the
# build folder) and print their ratios at the end. PeersBench prints one
# table: Velora beside a raw ODBC loop, SOCI's rowset and Qt SQL's
# forward-only QSqlQuery on the same table, each contestant in a process of
# its own (median seconds, ratio to raw, peak memory). BulkBench inserts
# 1,000,000 rows four ways (raw parameter arrays, TODBCQuery's arrays, ExecSQL
# a row, SOCI's vector use) and runs `velora copy` SQLite -> PostgreSQL and
# back beside a raw array copy (about a quarter of an hour on two cores).
#
# Then the velora tool's peak memory: `velora query ... --format csv` over
# 1,000,000 rows on SQLite and PostgreSQL, beside a raw ODBC loop
# (bench/RawQueryCSV.cpp) on the same data, once with the data sources as
# the tests have them and once with the drivers' row-at-a-time options
# (SQLite's StepAPI=1, psqlODBC's UseDeclareFetch=1); the tool should stay
# under 30 MB where the driver does not hold the whole result.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELORA_BENCH_BUILD:-$root/build-bench}
jobs=${VELORA_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh" bench
# The "bench" preset of CMakePresets.json (the benchmarks and the tool), in the folder chosen above.
cmake -S "$root" --preset bench -B "$build"
cmake --build "$build" --target velora_bench velora -j"$jobs"

# MariaDB's buffer pool as a server that serves a big table has it (the tests'
# 64 MiB would have a 10,000,000-row table read through the file system on
# every pass; the raw contestants share the server, so the ratios stay fair).
export VELORA_MARIADB_BUFFER_POOL=${VELORA_MARIADB_BUFFER_POOL:-1G}
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

# Every program built from bench/*.cpp, one after the other.
status=0
found=0
for program in "$build"/bench/*Bench; do
  [ -x "$program" ] || continue
  found=1
  echo "== $(basename "$program")"
  "$program" "$@" || status=$?
done
if [ $found -eq 0 ]; then
  echo "run-bench: no benchmark programs in $build/bench" >&2
  exit 1
fi

echo "== velora tool: peak memory over 1,000,000 rows (--format csv)"
velora=$build/apps/velora
raw=$build/bench/RawQueryCSV
pg_account=(--user velora --password velora-pw)
"$velora" query VeloraTestSQLite "DROP TABLE IF EXISTS bench_tool_rows" >/dev/null
"$velora" query VeloraTestSQLite "CREATE TABLE bench_tool_rows AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL
  SELECT x + 1 FROM c WHERE x < 1000000) SELECT x AS id, 'row ' || x AS name, x * 0.25 AS amount FROM c" >/dev/null
"$velora" query VeloraPG "${pg_account[@]}" "CREATE TABLE bench_tool_rows AS SELECT x AS id, 'row ' || x AS name,
  x * 0.25 AS amount FROM generate_series(1, 1000000) x" >/dev/null
# The same data sources with the drivers' row-at-a-time options.
{
  echo
  sed -n '/^\[VeloraTestSQLite\]/,/^$/p' "$ODBCINI" | sed 's/^\[VeloraTestSQLite\]/[VeloraBenchSQLiteStep]/'
  echo "StepAPI=1"
  echo
  sed -n '/^\[VeloraPG\]/,/^$/p' "$ODBCINI" | sed 's/^\[VeloraPG\]/[VeloraBenchPGDeclare]/; s/^UseDeclareFetch=0$/UseDeclareFetch=1/'
} >>"$ODBCINI"
query="SELECT id, name, amount FROM bench_tool_rows"
printf '%-24s %14s %14s\n' "data source" "velora (MB)" "raw loop (MB)"
for dsn in VeloraTestSQLite VeloraBenchSQLiteStep VeloraPG VeloraBenchPGDeclare; do
  account=()
  case $dsn in *PG*) account=("${pg_account[@]}") ;; esac
  tool_kb=$(/usr/bin/time -f %M "$velora" query "$dsn" "${account[@]}" "$query" --format csv 2>&1 >/dev/null | tail -1)
  raw_kb=$(/usr/bin/time -f %M "$raw" "$dsn" "${account[1]:-}" "${account[3]:-}" "$query" 2>&1 >/dev/null | tail -1)
  awk -v d="$dsn" -v t="$tool_kb" -v r="$raw_kb" 'BEGIN { printf "%-24s %14.1f %14.1f\n", d, t / 1024, r / 1024 }'
done
"$velora" query VeloraTestSQLite "DROP TABLE bench_tool_rows" >/dev/null
exit $status
