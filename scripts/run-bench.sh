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
# build folder) and print their ratios at the end.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${VELORA_BENCH_BUILD:-$root/build-bench}
jobs=${VELORA_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh"
# The "bench" preset of CMakePresets.json, in the folder chosen above.
cmake -S "$root" --preset bench -B "$build"
cmake --build "$build" --target velora_bench -j"$jobs"

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
exit $status
