#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# A private PostgreSQL or MariaDB server for the failure tests, which kill it
# by pid and start it again on the same port and data folder.
#
#   server-control.sh start   pg|mariadb DIR       prints the port
#   server-control.sh pid     pg|mariadb DIR       prints the server's pid
#   server-control.sh restart pg|mariadb DIR PORT
#   server-control.sh stop    pg|mariadb DIR
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=../../scripts/lib/servers.sh
source "$root/scripts/lib/servers.sh"
cmd=$1 kind=$2 dir=$3
export VELORA_SERVERS_DIR=$dir

# Unlike the shared test servers, these keep every commit across a kill:
# what the server kept is what the tests compare with afterwards.
pg_options() {
  echo "-c listen_addresses=127.0.0.1 -c port=$1 -c unix_socket_directories=$dir/pg -c fsync=on \
-c synchronous_commit=on -c full_page_writes=on -c max_connections=100 -c password_encryption=scram-sha-256"
}

pg_restart() {
  rm -f "$dir/pg/data/postmaster.pid"
  _velora_as_postgres "$VELORA_PG_BIN/pg_ctl" -D "$dir/pg/data" -l "$dir/pg/server.log" -w -t 60 \
    -o "$(pg_options "$1")" start >"$dir/pg/pg_ctl.log" 2>&1
}

mariadb_restart() {
  local d=$dir/mariadb
  rm -f "$d/mysqld.pid" "$d/mysqld.sock"
  mariadbd --no-defaults --datadir="$d/data" --socket="$d/mysqld.sock" --port="$1" --bind-address=127.0.0.1 \
    --pid-file="$d/mysqld.pid" --tmpdir="$d/tmp" --log-error="$d/error.log" --user="$(id -un)" \
    --skip-name-resolve --innodb-buffer-pool-size=64M --innodb-log-file-size=32M \
    --innodb-flush-log-at-trx-commit=1 --skip-log-bin >/dev/null 2>&1 &
  for _ in $(seq 1 600); do
    mariadb-admin --no-defaults --socket="$d/mysqld.sock" -u root ping >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

case "$cmd:$kind" in
  start:pg)
    _velora_pg_start >&2
    _velora_pg_stop
    pg_restart "$VELORA_PG_PORT" >&2
    echo "$VELORA_PG_PORT" ;;
  start:mariadb)
    _velora_mariadb_start >&2
    _velora_mariadb_stop
    mariadb_restart "$VELORA_MARIADB_PORT" >&2
    echo "$VELORA_MARIADB_PORT" ;;
  pid:pg) head -n 1 "$dir/pg/data/postmaster.pid" ;;
  pid:mariadb) cat "$dir/mariadb/mysqld.pid" ;;
  restart:pg) pg_restart "$4" ;;
  restart:mariadb) mariadb_restart "$4" ;;
  stop:pg)
    _velora_as_postgres "$VELORA_PG_BIN/pg_ctl" -D "$dir/pg/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true ;;
  stop:mariadb)
    pid=$(cat "$dir/mariadb/mysqld.pid" 2>/dev/null || true)
    [ -z "$pid" ] || kill -9 "$pid" 2>/dev/null || true ;;
  *) echo "server-control: unknown command $cmd $kind" >&2; exit 2 ;;
esac
